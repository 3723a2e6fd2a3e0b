// Downloads when the service refuses the picture lists: a refusal that
// persists ends its page once (the empty-answer retries do not repeat the
// back-off), is counted, and saves nothing; a stop during a back-off wait
// ends the run at once.
#include <gtest/gtest.h>

#include "download_test_support.h"

namespace download {
namespace {

using standin::Interface;

class DownloadRefusalTest : public DownloadTest {
 protected:
  explicit DownloadRefusalTest(int first_wait_ms = 10)
      : DownloadTest({.empty_page_retry_ms = 0,
                      .after_list_picture_ms = 0,
                      .refusal_first_wait_ms = first_wait_ms}) {}
};

TEST_F(DownloadRefusalTest, APersistentRefusalEndsEachPageOnceAndSavesNothing) {
  Serve(discovery::Board(3));  // albums of 0, 1 and 2 pictures
  Find(service_->BoardUrl());
  ASSERT_EQ(Rows().size(), 3u);
  service_->AddFault("list:status=403");
  service_->log().Clear();
  Download();
  // The first album's total: four tries; then each album's page one try
  // each, not ten rounds of four.
  EXPECT_EQ(service_->Count(Interface::kList), 4u + 3u);
  EXPECT_EQ(PictureRequests(), 0u);
  EXPECT_EQ(control_.tally().refused.load(), 4);
  EXPECT_EQ(control_.tally().saved.load(), 0);
  for (const auto& [name, body] : SavedFiles()) ADD_FAILURE() << "saved " << name;
  const std::string log = Log();
  EXPECT_NE(log.find("图片总数被服务器拒绝（HTTP 403），"), std::string::npos) << log;
  EXPECT_NE(log.find("图片列表页被服务器拒绝（HTTP 403），仍被拒绝，跳过；"), std::string::npos);
  EXPECT_NE(log.find("-------全部下载完毕--------"), std::string::npos);
}

class DownloadStopTest : public DownloadRefusalTest {
 protected:
  DownloadStopTest() : DownloadRefusalTest(30000) {}
};

TEST_F(DownloadStopTest, AStopDuringABackOffWaitEndsTheRunWithinASecond) {
  Serve(discovery::Board(3));
  Find(service_->BoardUrl());
  service_->AddFault("list:security-check");
  frame_.DispatchEvent(mw::按钮_下载选中, rt::EventKey::kClicked);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Log().find("秒后重试") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    frame_.DrainTasks();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_NE(Log().find("图片总数被服务器拒绝（安全验证页）"), std::string::npos) << Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well into the wait
  const auto stopped = std::chrono::steady_clock::now();
  frame_.DispatchEvent(mw::按钮_结束下载, rt::EventKey::kClicked);  // answered OK
  WaitForRun(5);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(service_->Count(Interface::kList), 1u) << "no try after the stop";
  EXPECT_EQ(Log().find("-------全部下载完毕--------"), std::string::npos);
}

}  // namespace
}  // namespace download
