// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// A process-wide single instance, created on first use under a mutex of its
// own and destroyed at process exit. A class T with a private constructor and
// destructor befriends LazyInstance<T> and returns LazyInstance<T>::Get() from
// its GetInstance().
#ifndef PLINTH_COMMON_LAZYINSTANCE_H_
#define PLINTH_COMMON_LAZYINSTANCE_H_

#include <atomic>
#include <memory>
#include <mutex>

namespace plinth {

template <typename T>
class LazyInstance {
 public:
  // The instance; never null. Safe against concurrent first calls: the
  // pointer is tested again under the mutex before the instance is created.
  static T* Get() {
    T* instance = pointer_.load(std::memory_order_acquire);
    if (instance != nullptr) return instance;
    std::lock_guard<std::mutex> lock(mutex_);
    instance = pointer_.load(std::memory_order_relaxed);
    if (instance == nullptr) {
      owner_.reset(new T);
      instance = owner_.get();
      pointer_.store(instance, std::memory_order_release);
    }
    return instance;
  }

 private:
  struct Deleter {
    void operator()(T* instance) const { delete instance; }
  };

  // Constant-initialised: they exist before main() runs.
  static inline std::mutex mutex_;
  static inline std::atomic<T*> pointer_{nullptr};
  static inline std::unique_ptr<T, Deleter> owner_;
};

}  // namespace plinth

#endif  // PLINTH_COMMON_LAZYINSTANCE_H_
