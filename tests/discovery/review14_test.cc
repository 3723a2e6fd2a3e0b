// Retrieval of a board or thread whose own text mentions the security-check
// page's title: such a page is an answer, not a refusal, and is retrieved as
// it was before refusals were recognised.
#include <gtest/gtest.h>

#include "retrieval_test_support.h"

namespace discovery {
namespace {

constexpr char kTopic[] = "百度安全验证总是弹出怎么办";

class MarkerInContentTest : public RetrievalTest {
 protected:
  MarkerInContentTest()
      : RetrievalTest({.after_list_request_ms = 0, .refusal_first_wait_ms = 10}) {}
};

TEST_F(MarkerInContentTest, AThreadTitledWithTheMarkerIsFoundUnderItsTitle) {
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

TEST_F(MarkerInContentTest, ABoardWithAnAlbumTitledWithTheMarkerListsEveryAlbum) {
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
