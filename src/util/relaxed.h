// SPDX-License-Identifier: Apache-2.0
// A value that one thread writes and another reads without a lock: the run's flags, the
// throttling settings the dialog changes during a run, the allowances and transfer counters.
// std::atomic is neither copyable nor assignable from another atomic; records such as Profile
// must be both, so this wrapper copies by loading.
#pragma once

#include <atomic>

namespace corvio {

template <typename T>
class Relaxed {
 public:
  Relaxed(T v = T()) : v_(v) {}  // NOLINT: implicit, so records keep aggregate-like setup
  Relaxed(const Relaxed& o) : v_(o.load()) {}
  Relaxed& operator=(const Relaxed& o) {
    store(o.load());
    return *this;
  }
  Relaxed& operator=(T v) {
    store(v);
    return *this;
  }
  operator T() const { return load(); }  // NOLINT: reads like the plain field it replaces

  T load() const { return v_.load(std::memory_order_relaxed); }
  void store(T v) { v_.store(v, std::memory_order_relaxed); }
  // Atomic addition: the timer raises an allowance while the worker lowers it.
  T add(T d) { return v_.fetch_add(d, std::memory_order_relaxed) + d; }

 private:
  std::atomic<T> v_;
};

}  // namespace corvio
