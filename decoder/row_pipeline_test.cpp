// The pipeline hands runs back in the order they were submitted, whatever
// order the workers finish them in, with the same text a single thread
// makes, and never holds more runs than it was built with.
#include "decoder/row_pipeline.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "decoder/column_table.h"
#include "tests/fits_builder.h"

namespace orvex::decoder {
namespace {

TEST(RowPipeline, RunsComeBackInOrderWithTheSingleThreadText) {
  reset_table();
  table[1].type = 'J';
  table[1].count = 1;
  table[2].type = 'E';
  table[2].count = 1;
  const row_formatter f = row_formatter::binary_table(2, {2, 1});
  // Rows of growing size texts, and a NaN now and then for the messages.
  std::string bytes;
  const int rows = 30000;
  for (int r = 0; r < rows; ++r) {
    bytes += test::big_endian{}.i32(r * 7919).f32_bits(r % 97 == 0 ? 0x7FC00000U : 0x3F000000U + r).bytes();
  }
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());

  std::string single_text, single_messages;
  for (int r = 0; r < rows; ++r) {
    text_buffer t;
    f.format(data + 8 * r, &t, single_messages);
    single_text += std::string(t.view());
  }

  for (int workers : {1, 2, 5}) {
    std::string text, messages;
    std::int64_t next = 0;
    bool in_order = true;
    {
      row_pipeline p(workers, f, heap_view{}, true, [&](row_run& run) {
        in_order = in_order && run.first == next;
        next = run.first + run.count;
        text += std::string(run.text.view());
        messages += run.messages;
      });
      // Runs of 1 to 200 rows, so that workers finish out of order.
      for (int first = 0, n = 1; first < rows; first += n, n = n % 200 + 37) {
        if (first + n > rows) n = rows - first;
        row_run& run = p.free_run();
        run.first = first;
        run.count = n;
        run.rows = data + 8 * first;
        p.submit(run);
      }
      p.finish();
    }
    EXPECT_TRUE(in_order) << workers << " workers";
    EXPECT_EQ(next, rows) << workers << " workers";
    EXPECT_EQ(text, single_text) << workers << " workers";
    EXPECT_EQ(messages, single_messages) << workers << " workers";
  }
}

// Workers give way to the reading and writing threads: on two cores, the
// decompressing reader of a .Z input otherwise waits behind them.
TEST(RowPipeline, WorkersRunBelowTheReadersPriority) {
  reset_table();
  table[1].type = 'J';
  table[1].count = 1;
  const row_formatter f = row_formatter::binary_table(1, {1});
  const std::string bytes = test::big_endian{}.i32(1).bytes();
  const int reader = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
  std::atomic<int> worker{-100};
  {
    row_pipeline p(
        2, f, heap_view{}, true, [](row_run&) {},
        [&](row_run&) { worker = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))); });
    row_run& run = p.free_run();
    run.first = 0;
    run.count = 1;
    run.rows = reinterpret_cast<const unsigned char*>(bytes.data());
    p.submit(run);
    p.finish();
  }
  EXPECT_EQ(worker.load(), reader + 5 > 19 ? 19 : reader + 5);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), reader);
}

}  // namespace
}  // namespace orvex::decoder
