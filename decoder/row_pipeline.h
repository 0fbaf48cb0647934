// Runs of rows formatted on worker threads and passed on in row order.
//
// The thread that reads the stream takes a free run, fills it and submits
// it; workers format submitted runs in any order; one writer thread hands
// each formatted run to `emit` in the order of submission, so that every
// output (files, standard output, standard error) receives exactly what a
// single thread doing all three in turn would write, in the same order.
//
// Workers run at a lower priority than the thread that starts the
// pipeline (on Linux, its nice value + 5): where threads outnumber cores,
// the reading thread, which may be decompressing the input, and the
// writer, the two stages that no other thread can do, are served first.
//
// Memory stays bounded: there are a fixed number of runs, and free_run()
// waits until the writer has passed one on. While a pipeline runs, only
// the writer thread calls `emit`, and the reading thread must not write
// anything that `emit` writes (nor report failures) until finish() returns.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "decoder/row_format.h"
#include "decoder/row_runs.h"

namespace orvex::decoder {

class row_pipeline {
 public:
  // Starts `workers` formatting threads (at least 1) and the writer. Runs
  // are formatted with `f` over `heap` (text when `with_text`); the caller
  // keeps `f` and the heap's bytes alive until finish() has returned. A
  // worker calls `make` (when given) on a run before formatting it.
  row_pipeline(int workers, const row_formatter& f, const heap_view& heap, bool with_text,
               std::function<void(row_run&)> emit, std::function<void(row_run&)> make = {});
  ~row_pipeline();
  row_pipeline(const row_pipeline&) = delete;
  row_pipeline& operator=(const row_pipeline&) = delete;

  // A run to fill; waits while every run is in flight.
  row_run& free_run();
  // Hands a filled run (from free_run) on to be formatted and emitted.
  void submit(row_run& run);
  // Waits until every submitted run has been emitted, and stops the threads.
  void finish();

 private:
  void work();
  void write();

  struct slot {
    row_run run;
    bool formatted = false;
  };

  const row_formatter& f_;
  const heap_view heap_;
  const bool with_text_;
  std::function<void(row_run&)> emit_;
  std::function<void(row_run&)> make_;

  std::mutex mutex_;
  std::condition_variable work_ready_;   // a run waits to be formatted, or the end
  std::condition_variable write_ready_;  // the oldest run is formatted, or the end
  std::condition_variable slot_free_;    // a run has been passed on
  std::vector<std::unique_ptr<slot>> slots_;
  std::deque<slot*> free_;
  std::deque<slot*> to_format_;
  std::deque<slot*> in_order_;           // submitted and not yet emitted
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace orvex::decoder
