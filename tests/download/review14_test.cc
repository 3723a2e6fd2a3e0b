// Pictures and refusals: a paused run sends nothing while picture fetches run
// ahead are in their back-off waits, and a body that is no more than an
// image format's first bytes is not saved as a picture.
#include <gtest/gtest.h>

#include "download/album_download.h"
#include "download_test_support.h"

namespace download {
namespace {

class Review14Download : public DownloadTest {
 protected:
  Review14Download()
      : DownloadTest({.empty_page_retry_ms = 0,
                      .after_list_picture_ms = 0,
                      .refusal_first_wait_ms = 300}) {}

  template <typename F>
  bool ServeUntil(F done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      frame_.DrainTasks();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  }
  void ServeFor(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    ServeUntil([until] { return std::chrono::steady_clock::now() >= until; });
  }
};

TEST_F(Review14Download, APausedRunSendsNoRetryFromAFetchRunAhead) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread album{.tid = "4718600000", .title = "相册"};
  album.pictures = discovery::Pictures(album.tid, 4);
  data.threads.push_back(album);
  RetrievalTest::Serve(std::move(data));
  Find(service_->BoardUrl());
  service_->AddFault("picture:status=403");
  service_->log().Clear();
  shell_.state().parallel_fetches = 2;
  backend_.SetResponder(
      {.message_box = [](const rt::MessageBoxRequest&) { return rt::DialogButton::kOk; }});

  frame_.DispatchEvent(mw::按钮_下载选中, rt::EventKey::kClicked);
  ASSERT_TRUE(ServeUntil([&] { return PictureRequests() >= 1; }));
  frame_.DispatchEvent(mw::按钮_暂停线程, rt::EventKey::kClicked);
  ServeFor(100);  // shorter than the first back-off wait (at least 225 ms)
  const size_t paused_at = PictureRequests();
  ServeFor(2500);  // longer than a picture's three waits (at most 2.1 s)
  EXPECT_EQ(PictureRequests(), paused_at) << "requests went out while the run was paused";

  frame_.DispatchEvent(mw::按钮_结束下载, rt::EventKey::kClicked);
  WaitForRun(10);
}

// A thread of 51 pictures comes in two guide pages, the second starting
// again with the 51st. That picture fails once (a 500) and is saved when the
// second page brings it again: the closing account must not name it.
TEST_F(Review14Download, APictureSavedAtThePageBoundaryIsNotInTheClosingAccount) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread t{.tid = "5300000051", .title = "帖子", .album = false, .has_sep = "null"};
  t.pictures = discovery::Pictures(t.tid, 51);
  data.threads.push_back(t);
  RetrievalTest::Serve(std::move(data));
  Find(service_->ThreadUrl(t.tid));
  ASSERT_EQ(Rows().size(), 1u);
  frame_.ListSetTick(mw::超级列表框1, 0, rt::kTicked);
  const std::string boundary = service_->data().threads[0].pictures[50].id;
  service_->AddFault("picture/" + boundary + ":status=500*1");
  Download();
  EXPECT_EQ(SavedFiles().size(), 51u);  // the 51st is saved, at its second fetch
  EXPECT_EQ(control_.tally().Failures().size(), 0u);
  EXPECT_EQ(control_.tally().failed.load(), 0);
  EXPECT_EQ(Log().find("未能保存的图片"), std::string::npos) << Log().substr(Log().size() - 400);
}

TEST(Review14ImageExtension, TheFirstBytesAloneAreATruncatedHeaderNotAPicture) {
  for (const std::string bytes : {std::string("\xFF\xD8\xFF"), std::string("\x89PNG\r\n\x1A\n"),
                                  std::string("GIF89a")}) {
    EXPECT_EQ(ImageExtension(rt::Bytes(bytes.begin(), bytes.end())), "") << bytes.size();
  }
}

}  // namespace
}  // namespace download
