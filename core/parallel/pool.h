// The shared data-parallel work pool: an order-preserving parallel map over an index range.
//
// The pool is created on first use, sized to the CPUs this process may run on, and kept for the
// life of the process; a process forked from one that used it builds its own on first use. A
// task may use the pool again: the calling thread always works on its own batch, so nested use
// cannot deadlock. Workers never touch Python objects. An exception thrown by a task (for
// example std::bad_alloc) is rethrown on the calling thread after the batch has finished.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace tolm::parallel {

/// A non-owning reference to a callable taking an index.
class IndexFunction {
public:
  // Constrained so that copying an IndexFunction copies it instead of wrapping the copy source.
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, IndexFunction>)
  IndexFunction(F &fn) // NOLINT: implicit on purpose, like std::function_ref
      : object_(static_cast<void *>(&fn)),
        call_([](void *object, size_t index) { (*static_cast<F *>(object))(index); }) {}
  void operator()(size_t index) const { call_(object_, index); }

private:
  void *object_;
  void (*call_)(void *, size_t);
};

/// Runs `fn(i)` for every i in [0, count) on the pool and the calling thread; returns when all
/// have finished.
void for_each_index(size_t count, IndexFunction fn);

/// Threads that work on a batch: the pool's workers plus the caller.
size_t concurrency();

/// result[i] = fn(i) for i in [0, count), computed in parallel, in index order.
template <class F> auto map(size_t count, F &&fn) {
  using T = std::decay_t<decltype(fn(size_t{0}))>;
  std::vector<T> results(count);
  auto task = [&](size_t index) { results[index] = fn(index); };
  for_each_index(count, task);
  return results;
}

} // namespace tolm::parallel
