#include "engine/upsize/parallel_steps.h"

#include <algorithm>
#include <limits>

#include "engine/upsize/upsize_target.h"

namespace kevra {

ParallelSteps::ParallelSteps(std::vector<std::unique_ptr<UpsizeTarget>> connections)
    : connections_(std::move(connections)) {
  for (auto& c : connections_) threads_.emplace_back([this, &c] { work(*c); });
}

ParallelSteps::~ParallelSteps() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropQueued();
  }
  changed_.notify_all();
  for (auto& t : threads_) t.join();
}

void ParallelSteps::dropQueued() {
  for (const auto& dropped : queue_) --unfinished_[dropped.group];
  queue_.clear();
}

void ParallelSteps::add(Step step, int group) {
  {
    std::lock_guard lock(mutex_);
    if (failure_) return;  // wait() reports it; nothing more is started
    queue_.push_back({std::move(step), group});
    ++unfinished_[group];
  }
  changed_.notify_all();
}

void ParallelSteps::work(UpsizeTarget& connection) {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    Queued next;
    if (!take(next, std::numeric_limits<int>::max())) return;  // stopping
    run(lock, connection, std::move(next));
  }
}

void ParallelSteps::runHere(UpsizeTarget& connection, int group) {
  std::unique_lock lock(mutex_);
  Queued next;
  while (!failure_ && take(next, group)) run(lock, connection, std::move(next));
}

bool ParallelSteps::take(Queued& next, int upTo) {
  auto first = std::min_element(queue_.begin(), queue_.end(),
                                [](const Queued& a, const Queued& b) { return a.group < b.group; });
  if (first == queue_.end() || first->group > upTo) return false;
  next = std::move(*first);
  queue_.erase(first);
  ++running_;
  return true;
}

void ParallelSteps::run(std::unique_lock<std::mutex>& lock, UpsizeTarget& connection, Queued next) {
  lock.unlock();
  std::exception_ptr failed;
  try {
    next.step(connection);
  } catch (...) {
    failed = std::current_exception();
  }
  lock.lock();
  --running_;
  --unfinished_[next.group];
  if (failed && !failure_) {
    failure_ = failed;
    dropQueued();
  }
  changed_.notify_all();
}

void ParallelSteps::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && running_ == 0; });
  if (failure_) std::rethrow_exception(failure_);
}

void ParallelSteps::wait(int group) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return unfinished_[group] == 0 || failure_; });
  if (failure_) {
    changed_.wait(lock, [&] { return running_ == 0; });  // as wait(): nothing runs on past the failure
    std::rethrow_exception(failure_);
  }
}

void ParallelSteps::abandon() {
  std::unique_lock lock(mutex_);
  dropQueued();
  if (running_ == 0) return;
  // An index build on a big table may run for a while yet: stopped, it
  // fails at once, and nobody waits for its result.
  for (auto& c : connections_) c->cancelRunning();
  changed_.wait(lock, [&] { return running_ == 0; });
}

}  // namespace kevra
