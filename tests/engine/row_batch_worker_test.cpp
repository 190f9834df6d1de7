// Rows handed to the worker thread arrive whole and in order; an error the
// work throws reaches the caller; a worker stopped early does not hang.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "engine/util/row_batch_worker.h"

using namespace kevra;

TEST(RowBatchWorker, RowsArriveWholeAndInOrderAcrossBatches) {
  uint32_t expected = 0;
  bool intact = true;
  RowBatchWorker worker([&](ByteSpan row, uint32_t tag) {
    intact = intact && tag == expected && row.size() == tag % 300 + 1 && row.front() == uint8_t(tag) &&
             (row.size() == 1 || row.back() == uint8_t(tag >> 8));
    ++expected;
  });
  for (uint32_t i = 0; i < 40000; ++i) {  // about 6 MB: many batches
    Bytes row(i % 300 + 1, 0);
    row.back() = uint8_t(i >> 8);
    row.front() = uint8_t(i);  // a row of one byte holds this alone
    worker.add(ByteSpan(row.data(), row.size()), i);
  }
  worker.finish();
  EXPECT_EQ(expected, 40000u);
  EXPECT_TRUE(intact);
}

TEST(RowBatchWorker, AnErrorOfTheWorkReachesTheCaller) {
  RowBatchWorker worker([](ByteSpan, uint32_t tag) {
    if (tag == 5000) throw std::runtime_error("row 5000 is damaged");
  });
  const Bytes row(500, 1);
  try {
    for (uint32_t i = 0; i < 20000; ++i) worker.add(ByteSpan(row.data(), row.size()), i);
    worker.finish();
    ADD_FAILURE() << "the error was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "row 5000 is damaged");
  }
}

// A caller that stops on an error of its own leaves without finish(): the
// worker must let go of the batches still waiting and end (a hang here is
// the failure), and never touch the work's state afterwards.
TEST(RowBatchWorker, StoppingBeforeTheEndDropsTheRestWithoutWaitingForIt) {
  auto done = std::make_shared<std::atomic<int>>(0);
  {
    RowBatchWorker worker([done](ByteSpan, uint32_t) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      ++*done;
    });
    const Bytes row(4000, 2);
    for (uint32_t i = 0; i < 2000; ++i) worker.add(ByteSpan(row.data(), row.size()), i);
  }
  const int atStop = *done;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(*done, atStop);
  EXPECT_LT(atStop, 2000);  // the last batches were dropped, not worked through
}
