// A picture asked for again on the download worker while every transfer
// slot is taken by fetches ahead: the worker waits for a slot outside any
// safe point, and when one frees it must not start a transfer while the run
// has been paused (or held at the stop question) in the meantime.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "download/picture_fetcher.h"
#include "download/run_gate.h"

namespace download {
namespace {

using namespace std::chrono_literals;

// Fetches of addresses beginning "http://p/slow" last until released; every
// other request notes whether the run was paused when it began.
struct HeldRequests {
  RunGate* gate = nullptr;
  std::mutex mu;
  std::condition_variable cv;
  bool released = false;
  int slow_running = 0;
  std::atomic<int> quick_started{0};
  std::atomic<int> quick_started_while_paused{0};
  std::atomic<bool> paused{false};

  PictureAnswer operator()(const rt::Text& address) {
    if (address.starts_with("http://p/slow")) {
      std::unique_lock lock(mu);
      ++slow_running;
      cv.notify_all();
      cv.wait(lock, [&] { return released; });
    } else {
      ++quick_started;
      if (paused.load()) ++quick_started_while_paused;
    }
    return {rt::Bytes(address.begin(), address.end()), 200, {}, {}};
  }

  bool WaitForSlow(int n) {
    std::unique_lock lock(mu);
    return cv.wait_for(lock, 5s, [&] { return slow_running >= n; });
  }
  void Release() {
    {
      std::lock_guard lock(mu);
      released = true;
    }
    cv.notify_all();
  }
};

void ExpectNoTransferStartsWhilePaused(bool hold) {
  RunGate gate;
  HeldRequests requests;
  PictureFetcher fetcher(2, &gate, std::ref(requests));
  // Both slots are taken by fetches ahead of slow pictures.
  fetcher.Add({"http://p/slow0", "http://p/slow1"});
  ASSERT_TRUE(requests.WaitForSlow(2));

  // The worker asks again for a refused picture (its back-off wait is over)
  // and waits for a slot.
  std::thread worker([&] { fetcher.Request("http://p/refused"); });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(requests.quick_started.load(), 0) << "the bound of two transfers";

  // The user pauses (or is asked whether to stop); then the slow transfers end.
  if (hold) {
    gate.Hold();
  } else {
    gate.Pause();
  }
  requests.paused = true;
  requests.Release();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(requests.quick_started_while_paused.load(), 0)
      << "a picture transfer began while the run was "
      << (hold ? "held at the stop question" : "paused");

  requests.paused = false;
  if (hold) {
    gate.Release();
  } else {
    gate.Continue();
  }
  worker.join();
  EXPECT_EQ(requests.quick_started.load(), 1);
}

TEST(PictureFetcherGate, ARequestWaitingForASlotStartsNothingWhilePaused) {
  ExpectNoTransferStartsWhilePaused(/*hold=*/false);
}

TEST(PictureFetcherGate, ARequestWaitingForASlotStartsNothingWhileHeldAtTheStopQuestion) {
  ExpectNoTransferStartsWhilePaused(/*hold=*/true);
}

}  // namespace
}  // namespace download
