// Album retrieval when the service turns the visitor away: a refusal is
// logged and asked again after a growing wait, and one that persists ends
// the step as an empty answer would, without waiting again at every step.
#include <gtest/gtest.h>

#include "retrieval_test_support.h"

namespace discovery {
namespace {

using standin::Interface;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class RetrievalRefusalTest : public RetrievalTest {
 protected:
  static constexpr int kFirstWaitMs = 100;
  RetrievalRefusalTest()
      : RetrievalTest({.after_list_request_ms = 0, .refusal_first_wait_ms = kFirstWaitMs}) {
    // The album list alone: its refusals are what is tested, not the album
    // tab that stands in for it.
    shell_.state().profile.order_albums = "albums";
  }

  // The stand-in's receive times of the requests of `iface`, in ms.
  std::vector<double> Times(Interface iface) const {
    std::vector<double> times;
    for (const auto& e : service_->log().Entries()) {
      if (e.iface == iface) times.push_back(e.ms);
    }
    return times;
  }
};

TEST_F(RetrievalRefusalTest, AnAlbumListRefusedTwiceIsRetrievedAfterGrowingWaits) {
  Serve(Board(3));
  service_->AddFault("album-list:security-check*2");
  Find(service_->BoardUrl());
  EXPECT_EQ(Rows().size(), 3u);
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "相册列表第1页被服务器拒绝（安全验证页），"), 2u) << log;
  EXPECT_EQ(Occurrences(log, "秒后重试；设置登录后导出的Cookie文件或稍后再试可能有帮助\r\n"), 2u);
  EXPECT_EQ(Occurrences(log, "仍被拒绝"), 0u);
  EXPECT_EQ(discovery_.retrieval().persisted_refusals(), 0);

  // Two refused tries and the answer for page 1, then page 1 again for its rows.
  const std::vector<double> times = Times(Interface::kAlbumList);
  ASSERT_EQ(times.size(), 4u);
  const double first = times[1] - times[0], second = times[2] - times[1];
  EXPECT_GE(first, kFirstWaitMs * 0.75);
  EXPECT_GE(second, kFirstWaitMs * 2 * 0.75);
  EXPECT_LT(first, kFirstWaitMs * 1.25 + 1000) << "the wait is bounded";
  EXPECT_LT(second, kFirstWaitMs * 2 * 1.25 + 1000);
}

TEST_F(RetrievalRefusalTest, ARefusalThatPersistsEndsTheStepAndIsNotWaitedForAgain) {
  Serve(Board(3));
  service_->AddFault("album-list:status=429");
  const auto started = std::chrono::steady_clock::now();
  Find(service_->BoardUrl());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(discovery_.retrieval().persisted_refusals(), 2);
  // Four tries of the first page, then one of page 1's rows, given up at once.
  EXPECT_EQ(service_->Count(Interface::kAlbumList), 5u);
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "被服务器拒绝（HTTP 429），"), 5u) << log;
  EXPECT_EQ(Occurrences(log, "仍被拒绝，跳过"), 2u);
  EXPECT_NE(log.find("-----获取完毕,共计0个"), std::string::npos);
  // The waits of one request: at most 1.25 * (100 + 200 + 400) ms.
  EXPECT_LT(seconds, 0.875 + 5) << "bounded";
}

// A board or thread whose own text mentions the security-check page's title
// is an answer, not a refusal, and is retrieved as it was before refusals
// were recognised.
constexpr char kTopic[] = "百度安全验证总是弹出怎么办";

class TitleInContentTest : public RetrievalTest {
 protected:
  TitleInContentTest()
      : RetrievalTest({.after_list_request_ms = 0, .refusal_first_wait_ms = 10}) {}
};

TEST_F(TitleInContentTest, AThreadTitledWithTheMarkerIsFoundUnderItsTitle) {
  standin::DataSet data = Board(1);
  data.threads[0].title = kTopic;
  data.threads[0].pictures = Pictures(data.threads[0].tid, 2);
  Serve(std::move(data));
  Find(service_->ThreadUrl(service_->data().threads[0].tid));
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0].name, kTopic);
  EXPECT_EQ(discovery_.retrieval().persisted_refusals(), 0);
  EXPECT_EQ(Log().find("被服务器拒绝"), std::string::npos) << Log();
}

TEST_F(TitleInContentTest, ABoardWithAnAlbumTitledWithTheMarkerListsEveryAlbum) {
  standin::DataSet data = Board(3);
  data.threads[1].title = kTopic;
  Serve(std::move(data));
  Find(service_->BoardUrl());
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_EQ(discovery_.retrieval().persisted_refusals(), 0);
  EXPECT_EQ(Log().find("被服务器拒绝"), std::string::npos) << Log();
}

}  // namespace
}  // namespace discovery
