// Download runs end to end against the stand-in: both album downloads with
// every saved byte compared, the repeat-download record across runs, the run
// buttons, pause, continue and stop, and the faults that must not cost a
// picture or leave a cut file.
#include "download/download_run.h"

#include "download_test_support.h"
#include "recorddb/operations.h"

namespace download {
namespace {

using standin::Interface;
// A board whose albums hold the given numbers of pictures, named "相册N".
standin::DataSet BoardOf(std::initializer_list<int> counts) {
  standin::DataSet data;
  data.board = "纸飞机";
  for (int count : counts) {
    standin::Thread t;
    t.tid = std::to_string(4718300000LL + data.threads.size());
    t.title = "相册" + std::to_string(data.threads.size() + 1);
    t.pictures = discovery::Pictures(t.tid, count);
    data.threads.push_back(std::move(t));
  }
  return data;
}

class BoardDownloadTest : public DownloadTest {};

TEST_F(BoardDownloadTest, EveryAlbumIsSavedPageByPageAndRecorded) {
  Serve(BoardOf({1, 50, 199, 200, 201, 0}));
  Find(service_->BoardUrl());
  ASSERT_EQ(Rows().size(), 6u);
  // A count the row does not know makes the download ask for the total.
  frame_.ListSetCell(mw::超级列表框1, 1, mw::kColumnCount, "0");
  service_->log().Clear();
  frame_.SetChecked(mw::选择框_下载记录, true);
  Download();

  std::map<std::string, std::string> expected;
  for (const auto& t : service_->data().threads) {
    expected.merge(Expected(t, "纸飞机吧_百度贴吧/" + t.title + "_" + t.tid));
  }
  EXPECT_TRUE(SameFiles(SavedFiles(), expected));
  EXPECT_EQ(PictureRequests(), 1u + 50 + 199 + 200 + 201);
  // Pages of 200: 1, 1, 1, 2, 2, 1, and a total request for each album whose
  // count reads 0: the second (its cell was changed) and the empty last one.
  EXPECT_EQ(service_->Count(Interface::kList), 1u + 1 + 1 + 2 + 2 + 1 + 2);
  EXPECT_EQ(control_.tally().saved.load(), 651);
  EXPECT_EQ(control_.tally().failed.load(), 0);

  const std::string log = Log();
  EXPECT_NE(log.find("当前被选择相册编号:1、2、3、4、5、6、\r\n\r\n"), std::string::npos);
  EXPECT_NE(log.find("防止重复下载数据库创建成功\r\n\r\n下载载相册:相册1\r\n\r\n"), std::string::npos);
  EXPECT_TRUE(log.ends_with("---完成相册《相册6》下载\r\n\r\n-------全部下载完毕--------\r\n\r\n"));
  EXPECT_EQ(Caption(mw::标签_选择了相册数量), "总共需下载[6]个相册");
  EXPECT_EQ(Caption(mw::标签_正在下载相册), "下载到第[6]个相册");
  EXPECT_EQ(Caption(mw::标签_第多少张照片), "下载完成");
  EXPECT_EQ(Messages().back(), "全部下载完毕");
  EXPECT_EQ(recorddb::DbOpenCount(), 0);

  // A second run fetches nothing it saved; the bar and labels still move.
  service_->log().Clear();
  Download();
  EXPECT_EQ(PictureRequests(), 0u);
  EXPECT_EQ(control_.tally().skipped.load(), 651);
  EXPECT_EQ(frame_.Control(mw::进度条1)->position, 0);  // the last album is empty
  EXPECT_TRUE(SameFiles(SavedFiles(), expected));
}

TEST_F(BoardDownloadTest, TheRecordGrowsWithTheOptionOffAndTwinsShareAnEntry) {
  standin::DataSet data = BoardOf({3});
  // Two ids alike in their first 20 bytes count as one picture.
  data.threads[0].pictures[2].id = data.threads[0].pictures[1].id.substr(0, 20) + "twin";
  Serve(std::move(data));
  Find(service_->BoardUrl());
  frame_.SetChecked(mw::选择框_下载记录, false);
  Download();
  EXPECT_EQ(PictureRequests(), 3u);
  EXPECT_NE(Log().find("未勾选了防止重复下载功能\r\n\r\n"), std::string::npos);

  frame_.SetChecked(mw::选择框_下载记录, true);
  service_->log().Clear();
  Download();
  EXPECT_EQ(PictureRequests(), 0u);

  // With the option on from the start, the twin is skipped at once (a
  // fresh start: neither the record nor the folder's manifest knows them).
  fs::remove_all(folder_.path() / "防止重复下载数据库");
  fs::remove_all(save_);
  service_->log().Clear();
  Download();
  EXPECT_EQ(PictureRequests(), 2u);
}

TEST_F(BoardDownloadTest, AlbumsOfOneTitleKeepTheirOwnPictures) {
  standin::DataSet data = BoardOf({2, 2});
  for (auto& t : data.threads) t.title = "壁纸";
  Serve(std::move(data));
  Find(service_->BoardUrl());
  frame_.SetChecked(mw::选择框_下载记录, true);
  Download();
  std::map<std::string, std::string> expected;
  for (const auto& t : service_->data().threads) {
    expected.merge(Expected(t, "纸飞机吧_百度贴吧/壁纸_" + t.tid));
  }
  EXPECT_TRUE(SameFiles(SavedFiles(), expected));
}

TEST_F(BoardDownloadTest, RowsWithoutAnIdAreNamedButNotDownloaded) {
  Serve(BoardOf({1, 1, 1, 1}));
  Find(service_->BoardUrl());
  frame_.ListSetTick(mw::超级列表框1, 1, frame::kUnticked);
  frame_.ListSetCell(mw::超级列表框1, 2, mw::kColumnId, "");
  std::vector<std::string> albums_shown;
  backend_.SetObserver({.property_changed = [&](const frame::ControlState& c, int) {
    if (c.tmpl->name == "标签_正在下载相册") albums_shown.push_back(rt::ToUtf8(c.text));
  }});
  Download();
  EXPECT_NE(Log().find("当前被选择相册编号:1、3、4、\r\n\r\n"), std::string::npos);
  EXPECT_EQ(Caption(mw::标签_选择了相册数量), "总共需下载[2]个相册");
  EXPECT_EQ(albums_shown, (std::vector<std::string>{"下载到第[1]个相册", "下载到第[2]个相册"}));
  EXPECT_EQ(PictureRequests(), 2u);

  // Nothing ticked: the run says so, and ends without telling it done.
  for (int r = 0; r < 4; ++r) frame_.ListSetTick(mw::超级列表框1, r, frame::kUnticked);
  Download();
  EXPECT_TRUE(
      Log().ends_with("当前未选择任何相册\r\n\r\n-------没有选择要下载的相册--------\r\n\r\n"));
  EXPECT_EQ(Messages().back(), "没有选择要下载的相册");
  EXPECT_EQ(Caption(mw::标签_选择了相册数量), "总共需下载[0]个相册");
}

}  // namespace
}  // namespace download
