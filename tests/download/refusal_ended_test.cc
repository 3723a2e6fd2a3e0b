// The service refuses every picture for a while, then answers again. One
// picture at a time, only the picture asked during the refusal meets it: the
// first picture's try after its wait is answered, and the others are asked
// only then. With fetches ahead, answers fetched while the refusal lasted
// must not count as refusals met at their pictures' turns, once the service
// answers again: no more refusal lines, tries or waits than one at a time.
#include "download_test_support.h"

namespace download {
namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t found = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

class RefusalEndedTest : public DownloadTest, public ::testing::WithParamInterface<int> {
 protected:
  RefusalEndedTest()
      : DownloadTest({.empty_page_retry_ms = 0,
                      .after_list_picture_ms = 0,
                      .refusal_first_wait_ms = 400}) {}  // 300 ms at the least
};

TEST_P(RefusalEndedTest, AnswersFetchedDuringARefusalThatEndedAddNoRefusals) {
  ServeOneAlbum("4718500200", "相册己", 6);
  Find(service_->BoardUrl());
  shell_.state().parallel_fetches = GetParam();
  const int refusal = service_->AddFault("picture:status=403");
  service_->log().Clear();
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);

  // The first refusal is logged as the first picture's wait begins; the
  // service then answers again, before that wait is over.
  const std::string refused = "被服务器拒绝（HTTP 403），";
  ServeUntil([&] { return Log().find(refused) != std::string::npos; });
  ASSERT_NE(Log().find("图片(1)" + refused), std::string::npos) << Log();
  // The fetches begun with the first one have been answered (refused).
  ServeUntil([&] { return PictureRequests() >= static_cast<size_t>(GetParam()); });
  service_->faults().Remove(refusal);
  WaitForRun(60);

  EXPECT_EQ(control_.tally().saved.load(), 6);
  EXPECT_EQ(Count(Log(), refused), 1u) << Log();
}

INSTANTIATE_TEST_SUITE_P(Fetches, RefusalEndedTest, ::testing::Values(1, 4));

}  // namespace
}  // namespace download
