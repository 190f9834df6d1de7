// ParallelSteps: statements that need only committed tables (building an
// index, reading a table back for its checksum) run on further connections
// to the same target while the upsize goes on with the next table.
#pragma once
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kevra {

class UpsizeTarget;

class ParallelSteps {
 public:
  using Step = std::function<void(UpsizeTarget&)>;
  // One thread per connection; each step runs on whichever is free.
  explicit ParallelSteps(std::vector<std::unique_ptr<UpsizeTarget>> connections);
  ~ParallelSteps();  // abandons what is left
  ParallelSteps(const ParallelSteps&) = delete;
  ParallelSteps& operator=(const ParallelSteps&) = delete;

  void add(Step step);
  // Waits until every step has run; rethrows the first failure (the steps
  // queued after it are dropped).
  void wait();
  // Drops the queued steps and waits for the running ones to end.
  void abandon();

 private:
  void work(UpsizeTarget& connection);
  std::vector<std::unique_ptr<UpsizeTarget>> connections_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Step> queue_;
  size_t running_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;
};

}  // namespace kevra
