// RowBatchWorker: runs some work on each of a stream of rows on a thread of
// its own, beside the caller that produces them. The rows (their bytes and a
// number the caller gives each) are copied into batches; a few batches at
// most wait, so memory stays bounded and the caller waits when the worker
// falls behind. Where no thread can be had, the work runs in the caller.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/util/bytes.h"

namespace kevra {

class RowBatchWorker {
 public:
  using Work = std::function<void(ByteSpan row, uint32_t tag)>;
  explicit RowBatchWorker(Work work);
  // Stops the worker; rows not yet worked on are dropped.
  ~RowBatchWorker();
  RowBatchWorker(const RowBatchWorker&) = delete;
  RowBatchWorker& operator=(const RowBatchWorker&) = delete;

  // Rethrows, in the caller, an error the work threw on an earlier row.
  void add(ByteSpan row, uint32_t tag);
  // Returns once every row added is worked on; rethrows the work's error.
  void finish();

 private:
  struct Batch {
    Bytes bytes;
    std::vector<uint32_t> ends, tags;
  };
  void hand(Batch batch);
  void run();
  void rethrow();

  Work work_;
  Batch filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> waiting_;
  bool busy_ = false;     // the worker holds a batch
  bool closing_ = false;  // no more batches come
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace kevra
