#include "engine/util/row_batch_worker.h"

#include <system_error>

namespace kevra {
namespace {

constexpr size_t kBatchBytes = size_t(1) << 20;
constexpr size_t kBatchesWaiting = 2;

}  // namespace

RowBatchWorker::RowBatchWorker(Work work) : work_(std::move(work)) {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: add() works on each row at once.
  }
}

RowBatchWorker::~RowBatchWorker() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

// The error stays: every later call fails the same way, and the worker
// takes no more batches.
void RowBatchWorker::rethrow() {
  if (error_) std::rethrow_exception(error_);
}

void RowBatchWorker::add(ByteSpan row, uint32_t tag) {
  if (!thread_.joinable()) {
    work_(row, tag);
    return;
  }
  filling_.bytes.insert(filling_.bytes.end(), row.begin(), row.end());
  filling_.ends.push_back(uint32_t(filling_.bytes.size()));
  filling_.tags.push_back(tag);
  if (filling_.bytes.size() >= kBatchBytes) {
    hand(std::move(filling_));
    filling_ = Batch{};
    filling_.bytes.reserve(kBatchBytes + 4096);
  }
}

void RowBatchWorker::hand(Batch batch) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return waiting_.size() < kBatchesWaiting || error_; });
  rethrow();
  waiting_.push_back(std::move(batch));
  changed_.notify_all();
}

void RowBatchWorker::finish() {
  if (!thread_.joinable()) return;
  if (!filling_.ends.empty()) hand(std::move(filling_));
  filling_ = Batch{};
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return (waiting_.empty() && !busy_) || error_; });
  rethrow();
}

void RowBatchWorker::run() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !waiting_.empty() || closing_; });
      if (closing_) return;
      batch = std::move(waiting_.front());
      waiting_.pop_front();
      busy_ = true;
    }
    changed_.notify_all();
    try {
      uint32_t start = 0;
      for (size_t i = 0; i < batch.ends.size(); ++i) {
        work_(ByteSpan(batch.bytes.data() + start, batch.ends[i] - start), batch.tags[i]);
        start = batch.ends[i];
      }
    } catch (...) {
      std::lock_guard lock(mutex_);
      error_ = std::current_exception();
      waiting_.clear();
    }
    {
      std::lock_guard lock(mutex_);
      busy_ = false;
    }
    changed_.notify_all();
  }
}

}  // namespace kevra
