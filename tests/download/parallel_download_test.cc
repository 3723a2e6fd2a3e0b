// Downloads with picture fetches run ahead: on the same data set and faults,
// four fetches at once leave the files, records and log of one at a time,
// and a stop with four fetches in flight ends the run at once.
#include <algorithm>

#include "download_test_support.h"
#include "recorddb/operations.h"

namespace download {
namespace {

using standin::Interface;

class ParallelDownloadTest : public DownloadTest {
 protected:
  // A board with one album of 230 pictures (two picture-list pages), and a
  // thread of 110 pictures outside the albums (three guide pages). Some
  // pictures have descriptions; the thread's come in three formats.
  static standin::DataSet Data() {
    standin::DataSet data;
    data.board = "纸飞机";
    standin::Thread album{.tid = "4718300000", .title = "相册甲"};
    album.pictures = discovery::Pictures(album.tid, 230);
    standin::Thread thread{.tid = "4718300001", .title = "帖子乙"};
    thread.album = false;
    thread.has_sep = "null";  // its pictures come through the guide
    thread.pictures = discovery::Pictures(thread.tid, 110);
    for (size_t i = 0; i < thread.pictures.size(); ++i) {
      thread.pictures[i].format = static_cast<standin::PictureFormat>(i % 3);
    }
    for (standin::Thread* t : {&album, &thread}) {
      for (size_t i = 0; i < t->pictures.size(); i += 7) {
        t->pictures[i].descr = "第" + std::to_string(i) + "张";
      }
    }
    data.threads = {album, thread};
    data.style.guide_img_format = "number";
    return data;
  }

  // On each album: an error status, an empty body, a late picture whose
  // followers arrive first, and a slow one. Every fault fires every time.
  void AddFaults() {
    for (const standin::Thread& t : service_->data().threads) {
      service_->AddFault("picture/" + t.pictures[3].id + ":status=500");
      service_->AddFault("picture/" + t.pictures[60].id + ":empty");
      service_->AddFault("picture/" + t.pictures[10].id + ":latency=300");
      service_->AddFault("picture/" + t.pictures[98].id + ":slow=50/20");
    }
  }

  struct Outcome {
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> records;
    std::string log;
    int64_t saved = 0, skipped = 0, failed = 0;
  };

  // Downloads the board's album, then the thread, twice each with the
  // record on, from empty save and record folders.
  Outcome DownloadAll(int parallel) {
    fs::remove_all(save_);
    fs::remove_all(folder_.path() / "防止重复下载数据库");
    frame_.SetText(mw::编辑框_操作记录, "");
    shell_.state().parallel_fetches = parallel;
    frame_.SetChecked(mw::选择框_下载记录, true);
    frame_.SetChecked(mw::选择框_文件名, true);
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    Outcome outcome;
    for (const std::string& address :
         {service_->BoardUrl(), service_->ThreadUrl(service_->data().threads[1].tid)}) {
      Find(address);
      for (int run = 0; run < 2; ++run) {
        Download();
        outcome.saved += control_.tally().saved.load();
        outcome.skipped += control_.tally().skipped.load();
        outcome.failed += control_.tally().failed.load();
      }
      outcome.log += Log();  // a retrieval begins the log anew
    }
    outcome.files = SavedFiles();
    for (const auto& e : fs::directory_iterator(folder_.path() / "防止重复下载数据库")) {
      // Both files carry their creation time at bytes 8 to 15; the rest of
      // each must match.
      std::string bytes = ReadFile(e.path());
      if (bytes.size() >= 16) bytes.replace(8, 8, 8, '\0');
      outcome.records[e.path().filename().string()] = bytes;
    }
    return outcome;
  }
};

TEST_F(ParallelDownloadTest, FourFetchesAtOnceLeaveTheFilesRecordsAndLogOfOne) {
  RetrievalTest::Serve(Data());
  AddFaults();
  const Outcome one = DownloadAll(1);
  const size_t requests_one = PictureRequests();
  service_->log().Clear();
  const Outcome four = DownloadAll(4);

  // The sequential run itself is as expected: every picture but the two
  // failing ones of each album, in two runs that fetch each failure twice.
  EXPECT_EQ(one.files.size(), 230u - 2 + 110 - 2);
  EXPECT_EQ(one.saved, 230 - 2 + 110 - 2);
  EXPECT_EQ(one.skipped, 230 - 2 + 110 - 2);
  EXPECT_EQ(one.failed, 2 * 4);
  EXPECT_NE(one.log.find("未能保存[HTTP 500]"), std::string::npos) << one.log;
  EXPECT_FALSE(one.records.empty());

  EXPECT_TRUE(SameFiles(four.files, one.files));
  EXPECT_EQ(four.records, one.records);
  EXPECT_EQ(four.log, one.log);
  EXPECT_EQ(four.saved, one.saved);
  EXPECT_EQ(four.skipped, one.skipped);
  EXPECT_EQ(four.failed, one.failed);
  // Fetches ahead are only those the run then needed: nothing recorded is
  // fetched, nothing twice.
  EXPECT_EQ(PictureRequests(), requests_one);
}

TEST_F(ParallelDownloadTest, AStopWithFourFetchesInFlightEndsAtOnceAndLeavesNoFile) {
  ServeOneAlbum("4718300002", "相册", 12, [](standin::Thread& t) {
    for (standin::Picture& p : t.pictures) p.size = 100000;
  });
  Find(service_->BoardUrl());
  service_->AddFault("picture:slow=1000/50");  // 5 s a picture
  service_->log().Clear();
  shell_.state().parallel_fetches = 4;
  backend_.SetResponder({.message_box = [](const frame::MessageBoxRequest&) {
    return frame::DialogButton::kOk;
  }});

  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
  ServeUntil([&] { return PictureRequests() >= 4; });
  ASSERT_EQ(PictureRequests(), 4u);
  // The window is full: the first picture is not taken, so no fifth starts.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  frame_.DrainTasks();
  EXPECT_EQ(PictureRequests(), 4u);

  const auto before = std::chrono::steady_clock::now();
  frame_.DispatchEvent(mw::按钮_结束下载, frame::EventKey::kClicked);
  WaitForRun(5);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_TRUE(Log().ends_with("执行了结束下载\r\n")) << Log();
  EXPECT_TRUE(SavedFiles().empty());  // no picture whole yet: nothing, not a part
  EXPECT_EQ(control_.tally().saved.load(), 0);
  EXPECT_EQ(recorddb::DbOpenCount(), 0);
}

}  // namespace
}  // namespace download
