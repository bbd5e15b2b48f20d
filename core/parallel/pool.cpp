#include "parallel/pool.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace tolm::parallel {

namespace {

// One call of for_each_index: workers and the caller claim indices until none remain.
struct Batch {
  IndexFunction fn;
  size_t count;
  std::atomic<size_t> next{0};
  std::atomic<size_t> finished{0};
  std::mutex mutex;
  std::condition_variable done;
  std::exception_ptr error;

  Batch(IndexFunction f, size_t n) : fn(f), count(n) {}

  // Runs claimed indices until the batch is exhausted; true if this call finished the last one.
  void work() {
    while (true) {
      size_t index = next.fetch_add(1, std::memory_order_relaxed);
      if (index >= count)
        return;
      try {
        fn(index);
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!error)
          error = std::current_exception();
      }
      if (finished.fetch_add(1, std::memory_order_acq_rel) + 1 == count) {
        std::lock_guard lock(mutex);
        done.notify_all();
      }
    }
  }
};

size_t usable_cpus() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0)
      return static_cast<size_t>(count);
  }
  unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? hardware : 1;
}

class Pool {
public:
  explicit Pool(size_t workers) {
    threads_.reserve(workers);
    for (size_t k = 0; k < workers; ++k)
      threads_.emplace_back([this] { run(); });
  }

  // The pool lives for the whole process; its threads are detached at exit rather than joined,
  // so that exit never waits on them.
  ~Pool() = delete;

  size_t workers() const { return threads_.size(); }

  void submit(const std::shared_ptr<Batch> &batch) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(batch);
    }
    wake_.notify_all();
  }

  void retire(const std::shared_ptr<Batch> &batch) {
    std::lock_guard lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it)
      if (*it == batch) {
        queue_.erase(it);
        break;
      }
  }

private:
  void run() {
    while (true) {
      std::shared_ptr<Batch> batch;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] {
          while (!queue_.empty() &&
                 queue_.front()->next.load(std::memory_order_relaxed) >= queue_.front()->count)
            queue_.pop_front();
          return !queue_.empty();
        });
        // The newest batch first: nested batches are what outer tasks are waiting on.
        batch = queue_.back();
        if (batch->next.load(std::memory_order_relaxed) >= batch->count) {
          queue_.pop_back();
          continue;
        }
      }
      batch->work();
    }
  }

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Batch>> queue_;
};

std::mutex g_pool_mutex;
Pool *g_pool = nullptr;
pid_t g_pool_pid = 0;

// A child forked while another thread held the lock gets a fresh, unlocked one.
void reset_after_fork() {
  new (&g_pool_mutex) std::mutex();
  g_pool = nullptr;
}

Pool &pool() {
  static const bool fork_handler_installed =
      (pthread_atfork(nullptr, nullptr, reset_after_fork), true);
  (void)fork_handler_installed;
  std::lock_guard lock(g_pool_mutex);
  pid_t pid = getpid();
  if (g_pool == nullptr || g_pool_pid != pid) {
    // A forked child inherits the parent's pool object but none of its threads: it leaves the
    // old object alone (its mutexes may be held) and builds its own.
    size_t cpus = usable_cpus();
    g_pool = new Pool(cpus > 1 ? cpus - 1 : 0);
    g_pool_pid = pid;
  }
  return *g_pool;
}

} // namespace

size_t concurrency() { return pool().workers() + 1; }

void for_each_index(size_t count, IndexFunction fn) {
  if (count == 0)
    return;
  Pool &shared = pool();
  if (count == 1 || shared.workers() == 0) {
    for (size_t index = 0; index < count; ++index)
      fn(index);
    return;
  }
  auto batch = std::make_shared<Batch>(fn, count);
  shared.submit(batch);
  batch->work();
  {
    std::unique_lock lock(batch->mutex);
    batch->done.wait(
        lock, [&] { return batch->finished.load(std::memory_order_acquire) == batch->count; });
  }
  shared.retire(batch);
  if (batch->error)
    std::rethrow_exception(batch->error);
}

} // namespace tolm::parallel
