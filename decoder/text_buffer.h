// A growable run of text that the row formatter appends to: the lines of
// one row, or of a run of rows that a worker formats.
//
// It grows only as text is really written (room() asks for the next piece,
// never for a whole declared table) and keeps its capacity when cleared,
// so that once the longest row has been seen, formatting allocates
// nothing more.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace orvex::decoder {

class text_buffer {
 public:
  text_buffer() = default;
  text_buffer(const text_buffer&) = delete;
  text_buffer& operator=(const text_buffer&) = delete;
  text_buffer(text_buffer&&) noexcept = default;
  text_buffer& operator=(text_buffer&&) noexcept = default;

  // At least `n` writable bytes at the end of the text. The caller writes
  // some of them and hands the new end to commit(); nothing written there
  // counts until then. A later room() may move the text.
  char* room(std::size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return data_.get() + size_;
  }
  void commit(char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

  void append(const char* text, std::size_t n) {
    if (n == 0) return;
    char* p = room(n);
    std::memcpy(p, text, n);
    size_ += n;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }
  void put(char c) {
    if (size_ == capacity_) grow(1);
    data_[size_++] = c;
  }

  std::string_view view() const { return {data_.get(), size_}; }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Drops the text, keeping the capacity.
  void clear() { size_ = 0; }
  // Cuts the text back to its first `n` bytes (n at most size()).
  void resize_down(std::size_t n) { size_ = n; }

 private:
  void grow(std::size_t n) {
    std::size_t capacity = capacity_ < 256 ? 256 : capacity_;
    while (capacity - size_ < n) capacity = capacity * 2 > capacity ? capacity * 2 : size_ + n;
    std::unique_ptr<char[]> data(new char[capacity]);
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace orvex::decoder
