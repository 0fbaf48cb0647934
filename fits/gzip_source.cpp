// gzip input: members framed as zlib's gzread frames them (each begins with
// 1f 8b; after a member, anything else ends the input quietly), each member
// inflated by ISA-L where the build has it, else by zlib.
//
// ISA-L's faults are coarser than zlib's and may be found a little later in
// the data. So that both builds give the same bytes and the same reason for
// the same damaged file, a member in which ISA-L meets a fault or the end of
// the input is decoded again from its first byte by zlib, which then goes on
// in its place until the member ends. Only an input that cannot go back (a
// pipe) keeps ISA-L's result, with the zlib reason nearest to its code.
#include <memory>

#include "fits/member_inflater.h"
#include "fits/source_kinds.h"

namespace orvex::fits {

bool have_isal() { return ORVEX_HAVE_ISAL != 0; }

namespace {

class gzip final : public byte_source {
 public:
  gzip(std::unique_ptr<input_buffer> in, inflater which) : in_(std::move(in)), zlib_(zlib_inflater()) {
    if (which == inflater::fastest) fast_ = isal_inflater();
  }

  std::size_t read(unsigned char* dst, std::size_t n) override {
    std::size_t got = 0;
    std::size_t member_base = 0;  // where this read's bytes of the current member begin
    while (got < n && !done_) {
      if (!in_member_) {
        if (!next_member()) break;
        member_base = got;
      }
      std::size_t made = 0;
      status st = pump(dst + got, n - got, made);
      got += made;
      member_out_ += made;
      if (st == status::member_end) {
        in_member_ = false;
        continue;
      }
      if (st == status::full) break;
      if (active_ != zlib_.get() && in_->error().empty()) {
        st = decode_again_with_zlib(got - member_base, st);
        if (st == status::full) {
          got = member_base;
          continue;
        }
      }
      done_ = true;
      if (st == status::member_end) break;
      const bool cut = st == status::cut && in_->error().empty();
      error_ = cut ? cut_stream : st == status::cut ? in_->error() : active_->reason();
      // A cut member delivers what it decoded; bad data drops the read.
      if (!cut) return 0;
    }
    return got;
  }

 private:
  enum class status { full, member_end, cut, fault };

  // Starts the next member when the next two bytes are gzip's magic.
  bool next_member() {
    if (in_->want(2) < 2 || in_->data()[0] != 0x1f || in_->data()[1] != 0x8b) {
      done_ = true;
      error_ = in_->error();
      return false;
    }
    member_start_ = in_->offset();
    member_out_ = 0;
    active_ = fast_ ? fast_.get() : zlib_.get();
    active_->start();
    in_member_ = true;
    return true;
  }

  // Inflates the current member into `out` until `n` bytes are made, the
  // member ends, the input ends (cut) or the data is bad.
  status pump(unsigned char* out, std::size_t n, std::size_t& made) {
    while (made < n) {
      if (in_->size() == 0 && !in_->fill()) return status::cut;
      const member_inflater::step_result r = active_->step(in_->data(), in_->size(), out + made, n - made);
      in_->consume(r.used);
      made += r.made;
      if (r.how == member_inflater::outcome::member_end) return status::member_end;
      if (r.how == member_inflater::outcome::fault) return status::fault;
      if (r.used == 0 && r.made == 0 && !in_->fill()) return status::cut;
    }
    return status::full;
  }

  // Goes back to the member's first byte with zlib and decodes again, into
  // scratch memory, the bytes that earlier reads delivered, so that zlib can
  // take the current read over. `this_read` is what the current read got of
  // the member and `found` what ISA-L met. Returns full when zlib stands
  // where ISA-L stood, `found` when the input cannot go back.
  status decode_again_with_zlib(std::size_t this_read, status found) {
    const std::int64_t delivered = member_out_ - static_cast<std::int64_t>(this_read);
    if (!in_->seek(member_start_)) return found;
    active_ = zlib_.get();
    active_->start();
    member_out_ = delivered;
    if (!scratch_) scratch_ = std::make_unique<unsigned char[]>(scratch_size);
    for (std::int64_t left = delivered; left > 0;) {
      const std::size_t want = left < static_cast<std::int64_t>(scratch_size) ? static_cast<std::size_t>(left) : scratch_size;
      std::size_t made = 0;
      const status st = pump(scratch_.get(), want, made);
      left -= static_cast<std::int64_t>(made);
      if (st != status::full) return st;
    }
    return status::full;
  }

  static constexpr std::size_t scratch_size = 64 * 1024;

  std::unique_ptr<input_buffer> in_;
  std::unique_ptr<member_inflater> zlib_;
  std::unique_ptr<member_inflater> fast_;
  member_inflater* active_ = nullptr;
  std::unique_ptr<unsigned char[]> scratch_;
  std::int64_t member_start_ = 0;  // the input offset of the member's 1f
  std::int64_t member_out_ = 0;    // the member's bytes delivered so far
  bool in_member_ = false;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<byte_source> gzip_source(std::unique_ptr<input_buffer> in, inflater which) {
  return std::make_unique<gzip>(std::move(in), which);
}

}  // namespace orvex::fits
