#pragma once
// A thread whose end can be waited for with a time limit, and that can be
// let go when it does not come: a thread held in the kernel by a device
// that answers nothing (an open, a listing, a read) must not hold up
// whoever waits for it. A thread let go goes on using its owner, which
// must then never be destroyed.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <memory>
#include <thread>
#include <vector>

class TEndingThread {
 public:
  template <class TBody>
  void Start(TBody body) {
    Thread = std::jthread([this, body = std::move(body)](std::stop_token stop) mutable {
      body(std::move(stop));
      std::lock_guard hold(Mutex);
      Ended = true;
      Changed.notify_all();
    });
  }

  bool Running() const { return Thread.joinable(); }
  void RequestStop() { Thread.request_stop(); }
  void Join() {
    if (Thread.joinable()) Thread.join();
  }
  // True when the thread's body has returned within limit.
  bool WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(Mutex);
    return !Thread.joinable() || Changed.wait_for(lock, limit, [this] { return Ended; });
  }
  // Asks the thread to stop and joins it; false, with the thread let go,
  // when it has not ended within limit.
  bool EndWithin(std::chrono::milliseconds limit) {
    RequestStop();
    if (!WaitFor(limit)) {
      LetGo();
      return false;
    }
    Join();
    return true;
  }
  void LetGo() { Thread.detach(); }

 private:
  std::mutex Mutex;
  std::condition_variable Changed;
  bool Ended = false;
  std::jthread Thread;  // last: ends before the rest goes
};

// Keeps the owner of a thread let go for as long as the process lives: the
// thread goes on using it, and a leak checker sees it still in use.
template <class TOwner>
void KeepForever(std::unique_ptr<TOwner>& owner) {
  static std::mutex mutex;
  static std::vector<TOwner*>* const kept = new std::vector<TOwner*>;
  std::lock_guard hold(mutex);
  kept->push_back(owner.release());
}
