// Downloads when the service refuses the picture lists: a refusal that
// persists ends its page once (the empty-answer retries do not repeat the
// back-off), is counted, and saves nothing; a stop during a back-off wait
// ends the run at once.
#include <gtest/gtest.h>

#include "download/picture_io.h"
#include "download_test_support.h"

namespace download {
namespace {

using standin::Interface;

class DownloadRefusalTest : public DownloadTest {
 protected:
  explicit DownloadRefusalTest(int first_wait_ms = 10)
      : DownloadTest({.empty_page_retry_ms = 0,
                      .after_list_picture_ms = 0,
                      .refusal_first_wait_ms = first_wait_ms}) {
    // One interface for each kind of album: its refusals are what is tested.
    shell_.state().profile.order_album = "list";
    shell_.state().profile.order_thread = "guide";
  }
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
  // Every page stayed unread: the run does not call itself complete.
  EXPECT_NE(log.find("-------下载结束："), std::string::npos) << log;
  EXPECT_NE(log.find("3页图片列表未能读取--------"), std::string::npos) << log;
  EXPECT_EQ(log.find("全部下载完毕"), std::string::npos);
}

class DownloadStopTest : public DownloadRefusalTest {
 protected:
  DownloadStopTest() : DownloadRefusalTest(30000) {}
};

TEST_F(DownloadStopTest, AStopDuringABackOffWaitEndsTheRunWithinASecond) {
  Serve(discovery::Board(3));
  Find(service_->BoardUrl());
  service_->AddFault("list:security-check");
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
  ServeUntil([&] { return Log().find("秒后重试") != std::string::npos; });
  ASSERT_NE(Log().find("图片总数被服务器拒绝（安全验证页）"), std::string::npos) << Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well into the wait
  const auto stopped = std::chrono::steady_clock::now();
  frame_.DispatchEvent(mw::按钮_结束下载, frame::EventKey::kClicked);  // answered OK
  WaitForRun(5);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(service_->Count(Interface::kList), 1u) << "no try after the stop";
  EXPECT_EQ(Log().find("-------全部下载完毕--------"), std::string::npos);
}

// A picture host that wants the thread's page as Referer, answers an HTML
// page with 200 for one picture and keeps refusing another, and serves a GIF
// where the entry says JPEG (or, on the board's list, always JPEG): on both
// download paths only the pictures are saved, named by their bytes, and the
// run closes with the two it could not save, which a second run fetches.
TEST_F(DownloadRefusalTest, OnlyPicturesAreSavedAndTheRunClosesWithThoseItCouldNot) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread album{.tid = "4718400100", .title = "相册甲"};
  standin::Thread thread{.tid = "4718400101", .title = "帖子乙"};
  thread.album = false;
  thread.has_sep = "null";  // its pictures come through the guide
  for (standin::Thread* t : {&album, &thread}) {
    t->pictures = discovery::Pictures(t->tid, 6);
    t->pictures[2].format = standin::PictureFormat::kGif;
  }
  data.threads = {album, thread};
  Serve(std::move(data));
  const std::string web = "http://" + service_->hosts().web + "/p/";
  service_->AddFault("picture:referer=" + web);
  const struct {
    const standin::Thread& t;
    std::string address;
    std::string folder;
  } paths[] = {
      {album, service_->BoardUrl(), "纸飞机吧_百度贴吧/相册甲_4718400100/"},
      {thread, service_->ThreadUrl(thread.tid), "帖子乙相册_4718400101/"},
  };
  for (const auto& path : paths) {
    SCOPED_TRACE(path.folder);
    const auto& pictures = path.t.pictures;
    service_->AddFault("picture/" + pictures[1].id + ":status=200");
    service_->AddFault("picture/" + pictures[3].id + ":status=403");
    Find(path.address);
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    frame_.SetChecked(mw::选择框_下载记录, true);
    Download();

    std::map<std::string, std::string> expected;
    for (int i : {0, 2, 4, 5}) {
      expected[path.folder + "(" + std::to_string(i + 1) + ")" + (i == 2 ? ".gif" : ".jpg")] =
          Served(path.t.tid, pictures[i].id);
    }
    std::map<std::string, std::string> saved;
    for (auto& [name, body] : SavedFiles()) {
      if (name.starts_with(path.folder)) saved[name] = body;
    }
    EXPECT_TRUE(SameFiles(saved, expected));
    EXPECT_EQ(control_.tally().refused.load(), 1);
    const std::string log = Log();
    EXPECT_NE(log.find("图片(4)被服务器拒绝（HTTP 403），0.0秒后重试；"), std::string::npos) << log;
    EXPECT_NE(log.find("图片(4)被服务器拒绝（HTTP 403），仍被拒绝，跳过；"), std::string::npos);
    const std::string name = path.t.title;
    EXPECT_NE(log.find("未能保存的图片共2张：\r\n"
                       "相册《" + name + "》图片" + pictures[1].id + "：[不是图片]\r\n"
                       "相册《" + name + "》图片" + pictures[3].id + "：[服务器拒绝]\r\n"
                       "勾选防止重复下载后再下载一次，只会下载这些图片\r\n\r\n"
                       "-------下载结束：2张图片未能保存--------"),
              std::string::npos)
        << log;

    // Neither was recorded: the second run asks for just those two.
    service_->faults().Clear();
    service_->AddFault("picture:referer=" + web);
    service_->log().Clear();
    const size_t log_before = Log().size();
    Download();
    std::vector<std::string> asked = Targets(Interface::kPicture);
    EXPECT_EQ(asked.size(), 2u);
    for (const std::string& target : asked) {
      EXPECT_TRUE(target.find(pictures[1].id) != std::string::npos ||
                  target.find(pictures[3].id) != std::string::npos)
          << target;
    }
    EXPECT_EQ(control_.tally().failed.load(), 0);
    EXPECT_EQ(Log().find("未能保存的图片", log_before), std::string::npos);
  }
}

// A body that is no more than an image format's first bytes is no picture.
TEST(ImageExtension, TheFirstBytesAloneAreATruncatedHeaderNotAPicture) {
  for (const std::string& bytes : {std::string("\xFF\xD8\xFF"), std::string("\x89PNG\r\n\x1A\n"),
                                  std::string("GIF89a")}) {
    EXPECT_EQ(ImageExtension(rt::Bytes(bytes.begin(), bytes.end())), "") << bytes.size();
  }
}

}  // namespace
}  // namespace download
