// A growable run of bytes for data that arrives piece by piece: a table row
// longer than the stream's buffer, or a whole data unit held until its heap
// has arrived.
//
// It grows with realloc, which moves the pages of a large block instead of
// copying them, so that holding n bytes never takes 2n at a peak as a
// doubling vector's copy would; and it grows only as bytes are asked for
// room, never from a declared size. The bytes are not initialised.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace orvex::fits {

class byte_buffer {
 public:
  byte_buffer() = default;
  ~byte_buffer() { std::free(data_); }
  byte_buffer(const byte_buffer&) = delete;
  byte_buffer& operator=(const byte_buffer&) = delete;

  unsigned char* data() { return data_; }
  std::size_t size() const { return size_; }

  // Makes the size `n`, keeping the first bytes; new bytes hold anything.
  // Throws std::bad_alloc when the memory cannot be had.
  void resize(std::size_t n) {
    if (n > capacity_) {
      std::size_t capacity = capacity_ < 4096 ? 4096 : capacity_;
      while (capacity < n) capacity = capacity * 2 > capacity ? capacity * 2 : n;
      void* grown = std::realloc(data_, capacity);
      if (grown == nullptr) throw std::bad_alloc();
      data_ = static_cast<unsigned char*>(grown);
      capacity_ = capacity;
    }
    size_ = n;
  }

 private:
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace orvex::fits
