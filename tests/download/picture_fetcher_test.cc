// The fetch-ahead window on its own, with a request function that only
// counts: answers in plan order, never more than the window in flight, a
// paused run starting nothing, and pictures given up or never planned.
#include "download/picture_fetcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "download/run_gate.h"

namespace download {
namespace {

using namespace std::chrono_literals;

// Answers each address with its own text after a short wait that differs
// per address, so that fetches end out of order.
struct CountingRequests {
  std::atomic<int> in_flight{0};
  std::atomic<int> most_in_flight{0};
  std::mutex mu;
  std::multiset<std::string> asked;

  PictureAnswer operator()(const rt::Text& address) {
    const int now = ++in_flight;
    int most = most_in_flight.load();
    while (now > most && !most_in_flight.compare_exchange_weak(most, now)) {
    }
    {
      std::lock_guard lock(mu);
      asked.insert(address);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(address.size() % 7 * 3));
    --in_flight;
    return {rt::Bytes(address.begin(), address.end()), 200};
  }
  size_t Asked() {
    std::lock_guard lock(mu);
    return asked.size();
  }
};

std::string Text(const PictureAnswer& answer) {
  return std::string(answer.body.begin(), answer.body.end());
}

TEST(PictureFetcher, AnswersComeInPlanOrderWithinTheWindow) {
  for (int parallel : {1, 2, 4, 8}) {
    CountingRequests requests;
    PictureFetcher fetcher(parallel, nullptr, std::ref(requests));
    std::vector<rt::Text> plan;
    for (int i = 0; i < 40; ++i) {
      // Every fifth picture is not fetched ahead (one the record may skip).
      plan.push_back(i % 5 == 4 ? rt::Text() : "http://p/" + std::string(i % 9, 'x') +
                                                   std::to_string(i));
    }
    const std::vector<rt::Text> planned = plan;
    // Added in two pages, as the downloads add theirs.
    EXPECT_EQ(fetcher.Add({planned.begin(), planned.begin() + 25}), 0u);
    EXPECT_EQ(fetcher.Add({planned.begin() + 25, planned.end()}), 25u);
    if (parallel > 1) {
      // Nothing taken yet: the window fills with answers and stops there.
      const auto deadline = std::chrono::steady_clock::now() + 5s;
      while (requests.Asked() < static_cast<size_t>(parallel) &&
             std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
      }
      std::this_thread::sleep_for(100ms);
      EXPECT_EQ(requests.Asked(), static_cast<size_t>(parallel)) << "answers held";
    }
    for (size_t i = 0; i < planned.size(); ++i) {
      const rt::Text address =
          planned[i].empty() ? "http://p/now" + std::to_string(i) : planned[i];
      EXPECT_EQ(Text(fetcher.Take(i, address)), address) << parallel << " " << i;
    }
    EXPECT_LE(requests.most_in_flight.load(), parallel);
    if (parallel > 1) {
      EXPECT_GE(requests.most_in_flight.load(), 2) << parallel;
    }
    EXPECT_EQ(requests.Asked(), 40u) << parallel;  // nothing twice, nothing lost
  }
}

TEST(PictureFetcher, PicturesPassedOverAreGivenUpAndAStrangerIsFetchedAtItsTurn) {
  CountingRequests requests;
  {
    PictureFetcher fetcher(3, nullptr, std::ref(requests));
    std::vector<rt::Text> plan;
    for (int i = 0; i < 12; ++i) plan.push_back("http://p/" + std::to_string(i));
    fetcher.Add(plan);
    // The loop skips pictures 0 to 4 (already recorded after all).
    EXPECT_EQ(Text(fetcher.Take(5, plan[5])), plan[5]);
    // Picture 6 turns out to have another address: that one is fetched.
    EXPECT_EQ(Text(fetcher.Take(6, "http://elsewhere/6")), "http://elsewhere/6");
    for (size_t i = 7; i < plan.size(); ++i) EXPECT_EQ(Text(fetcher.Take(i, plan[i])), plan[i]);
    // A new page's pictures follow; its first is passed over.
    EXPECT_EQ(fetcher.Add({"http://q/0", "http://q/1"}), 12u);
    EXPECT_EQ(Text(fetcher.Take(13, "http://q/1")), "http://q/1");
  }
  // Passed-over pictures may have been fetched ahead, but none twice, and
  // the window never grew past three.
  std::lock_guard lock(requests.mu);
  for (const std::string& address : requests.asked) {
    EXPECT_EQ(requests.asked.count(address), 1u) << address;
  }
  EXPECT_TRUE(requests.asked.contains("http://elsewhere/6"));
  EXPECT_LE(requests.most_in_flight.load(), 3);
}

TEST(PictureFetcher, APausedRunStartsNoFetchAndTheFetcherEndsWhilePaused) {
  CountingRequests requests;
  RunGate gate;
  gate.Pause();
  PictureFetcher fetcher(4, &gate, std::ref(requests));
  fetcher.Add({"http://p/0", "http://p/1", "http://p/2"});
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(requests.Asked(), 0u);
  gate.Continue();
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (requests.Asked() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(requests.Asked(), 3u);

  // Paused again with a plan waiting: the fetcher's end does not wait for
  // the run to continue.
  gate.Pause();
  fetcher.Add({"http://p/3", "http://p/4"});
  const auto before = std::chrono::steady_clock::now();
  {
    PictureFetcher other(4, &gate, std::ref(requests));
    other.Add({"http://p/5"});
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

}  // namespace
}  // namespace download
