#include "decoder/row_pipeline.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace orvex::decoder {
namespace {

// The reading thread (which decompresses the input) and the writer are
// the pipeline's serial stages: while they wait for a core the workers
// run out of runs. With fewer cores than threads the scheduler shares
// them out evenly, so a worker asks for a smaller share than theirs.
// Linux keeps a nice value per thread; elsewhere workers stay as they are.
constexpr int worker_nice_step = 5;

void yield_to_serial_stages() {
#if defined(__linux__)
  const auto self = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, self);
  // The kernel holds the value at 19, the lowest priority.
  if (errno == 0) (void)setpriority(PRIO_PROCESS, self, nice + worker_nice_step);
#endif
}

}  // namespace

row_pipeline::row_pipeline(int workers, const row_formatter& f, const heap_view& heap, bool with_text,
                           std::function<void(row_run&)> emit, std::function<void(row_run&)> make)
    : f_(f), heap_(heap), with_text_(with_text), emit_(std::move(emit)), make_(std::move(make)) {
  if (workers < 1) workers = 1;
  // Two runs per worker keep every worker busy while the reader fills
  // the next ones and the writer passes the oldest on.
  const int runs = 2 * workers + 2;
  for (int i = 0; i < runs; ++i) {
    slots_.push_back(std::make_unique<slot>());
    free_.push_back(slots_.back().get());
  }
  for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
  threads_.emplace_back([this] { write(); });
}

row_pipeline::~row_pipeline() { finish(); }

row_run& row_pipeline::free_run() {
  std::unique_lock lock(mutex_);
  slot_free_.wait(lock, [this] { return !free_.empty(); });
  slot* s = free_.front();
  free_.pop_front();
  s->formatted = false;
  return s->run;
}

void row_pipeline::submit(row_run& run) {
  slot* s = nullptr;
  for (const auto& candidate : slots_) {
    if (&candidate->run == &run) s = candidate.get();
  }
  {
    std::lock_guard lock(mutex_);
    to_format_.push_back(s);
    in_order_.push_back(s);
  }
  work_ready_.notify_one();
}

void row_pipeline::finish() {
  {
    std::lock_guard lock(mutex_);
    if (threads_.empty()) return;
    closing_ = true;
  }
  work_ready_.notify_all();
  write_ready_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void row_pipeline::work() {
  yield_to_serial_stages();
  for (;;) {
    slot* s = nullptr;
    {
      std::unique_lock lock(mutex_);
      work_ready_.wait(lock, [this] { return closing_ || !to_format_.empty(); });
      if (to_format_.empty()) return;
      s = to_format_.front();
      to_format_.pop_front();
    }
    if (make_) make_(s->run);
    format_run(f_, heap_, with_text_, s->run);
    {
      std::lock_guard lock(mutex_);
      s->formatted = true;
    }
    write_ready_.notify_one();
  }
}

void row_pipeline::write() {
  for (;;) {
    slot* s = nullptr;
    {
      std::unique_lock lock(mutex_);
      write_ready_.wait(lock, [this] {
        return (!in_order_.empty() && in_order_.front()->formatted) || (closing_ && in_order_.empty());
      });
      if (in_order_.empty()) return;
      s = in_order_.front();
      in_order_.pop_front();
    }
    emit_(s->run);
    {
      std::lock_guard lock(mutex_);
      free_.push_back(s);
    }
    slot_free_.notify_one();
  }
}

}  // namespace orvex::decoder
