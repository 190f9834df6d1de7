// ParallelSteps: statements that need only committed tables (building an
// index, reading a table back for its checksum) run on further connections
// to the same target while the upsize goes on with the next table.
#pragma once
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
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

  // A step belongs to a group, so that the caller can wait for some of
  // them (the index builds) and not the others (the read-backs). A free
  // connection takes the first step of the lowest group queued.
  void add(Step step, int group = 0);
  // Runs the queued steps of `group` on the caller's connection too, until
  // none is left queued; a failure is kept for wait(), as on the others.
  void runHere(UpsizeTarget& connection, int group);
  // Waits until every step has run; rethrows the first failure (the steps
  // queued after it are dropped).
  void wait();
  // The same for the steps of `group` only.
  void wait(int group);
  // Drops the queued steps and waits for the running ones to end.
  void abandon();

 private:
  struct Queued {
    Step step;
    int group;
  };
  void work(UpsizeTarget& connection);
  // Takes the first step of the lowest group queued (at most `upTo`), or
  // none; under the lock.
  bool take(Queued& next, int upTo);
  // Runs a step taken, the lock released meanwhile; keeps its failure.
  void run(std::unique_lock<std::mutex>& lock, UpsizeTarget& connection, Queued next);
  void dropQueued();  // under the lock
  std::vector<std::unique_ptr<UpsizeTarget>> connections_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Queued> queue_;
  std::map<int, size_t> unfinished_;  // per group: queued or running
  size_t running_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;
};

}  // namespace kevra
