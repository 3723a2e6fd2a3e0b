// The run's closing account of pictures not saved: one album's failure is not
// settled by the same picture saved in another album that bears the same
// title (a board may hold an album posted twice under one title), and the
// same picture failing in both albums is two failures, each of its album.
#include "download_test_support.h"

namespace download {
namespace {

TEST_F(DownloadTest, APictureSavedInAnotherAlbumOfTheSameTitleLeavesTheFailureCounted) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread first{.tid = "4718500100", .title = "相册重"};
  first.pictures = discovery::Pictures(first.tid, 3);
  standin::Thread second{.tid = "4718500101", .title = "相册重"};
  second.pictures = discovery::Pictures(second.tid, 3);
  second.pictures[1] = first.pictures[1];  // the same picture, posted again
  data.threads.push_back(first);
  data.threads.push_back(second);
  Serve(std::move(data));
  Find(service_->BoardUrl());
  shell_.state().parallel_fetches = 1;
  // The shared picture's first request fails; its second is served.
  service_->AddFault("picture/" + first.pictures[1].id + ":status=404*1");
  Download();

  // One album's folder lacks the picture: the account must say so.
  size_t saved_files = SavedFiles().size();
  EXPECT_EQ(saved_files, 5u);
  EXPECT_EQ(control_.tally().saved.load(), 5);
  EXPECT_EQ(control_.tally().failed.load(), 1);
  EXPECT_EQ(control_.tally().Failures().size(), 1u);
  EXPECT_NE(Log().find("未能保存的图片共1张"), std::string::npos) << Log();

  // Now the shared picture fails in both albums.
  fs::remove_all(save_);
  service_->faults().Clear();
  service_->AddFault("picture/" + first.pictures[1].id + ":status=404");
  Download();
  const std::vector<FailedPicture> failures = control_.tally().Failures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(control_.tally().failed.load(), 2);
  EXPECT_EQ(failures[0].album_id, first.tid);
  EXPECT_EQ(failures[1].album_id, second.tid);
  for (const FailedPicture& failure : failures) {
    EXPECT_EQ(failure.id, first.pictures[1].id);
    EXPECT_EQ(failure.why, "HTTP 404");
  }
  EXPECT_NE(Log().find("未能保存的图片共2张"), std::string::npos) << Log();
}

}  // namespace
}  // namespace download
