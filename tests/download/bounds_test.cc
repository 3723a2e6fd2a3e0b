// A run ends whatever the service does: a picture that drips its bytes or is
// too large fails with a reason of its own while the rest are saved, and
// counts the service claims (a row count, a guide's pic_amount of INT32_MAX)
// ask only for pages that bring pictures.
#include <climits>

#include "download_test_support.h"
#include "platform/http_transport_curl.h"

namespace download {
namespace {

using standin::Interface;

struct Case {
  const char* what;
  bool listed;                 // an album of the board, else a thread through the guide
  const char* fault;           // on the second picture ("" for none)
  int64_t guide_amount_claim;  // -1: the true amount
  const char* row_count;       // the count cell before the run (nullptr: as listed)
  int64_t failed;
  const char* why;  // the failed picture's reason (UTF-8)
  // List pages: the one, then three empty ones; guide pages: the one, then one
  // that brings nothing new.
  size_t page_requests;
};

class BoundsTest : public DownloadTest {
 protected:
  ~BoundsTest() override {
    platform::SetTransferBound({});
    platform::SetResponseBodyCap(size_t{256} << 20);
  }
};

TEST_F(BoundsTest, EveryRunEndsAndSaysWhatItCouldNotSave) {
  // A quick bound so that a dripping picture passes it in a second.
  platform::SetTransferBound({.slow_body_after_ms = 400, .slow_body_bytes_per_second = 1024});
  platform::SetResponseBodyCap(40000);
  const Case cases[] = {
      {"a dripping picture", true, "slow=64/200", -1, nullptr, 1, "传输过慢", 1},
      {"a dripping picture in a thread", false, "slow=64/200", -1, nullptr, 1, "传输过慢", 1},
      {"a picture over the size cap", true, "", -1, nullptr, 1, "图片过大", 1},
      {"a row count of INT32_MAX", true, "", -1, "2147483647", 0, "", 4},
      {"a guide claiming INT32_MAX pictures", false, "", INT_MAX, nullptr, 0, "", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(save_);
    standin::DataSet data;
    data.board = "纸飞机";
    data.style.guide_amount_claim = c.guide_amount_claim;
    standin::Thread t{.tid = "5400000001", .title = "海", .album = c.listed, .has_sep = "null"};
    t.pictures = discovery::Pictures(t.tid, 5);
    // Bodies under the cap, the second over it where the case asks for it.
    if (std::string(c.why) == "图片过大") t.pictures[1].size = 60000;
    if (std::string(c.fault).starts_with("slow")) t.pictures[1].size = 30000;
    data.threads.push_back(t);
    Serve(std::move(data));
    if (*c.fault) service_->AddFault("picture/" + t.pictures[1].id + ":" + c.fault);
    Find(c.listed ? service_->BoardUrl() : service_->ThreadUrl(t.tid));
    ASSERT_EQ(Rows().size(), 1u);
    frame_.ListSetTick(mw::超级列表框1, 0, frame::kTicked);
    if (c.row_count) frame_.ListSetCell(mw::超级列表框1, 0, mw::kColumnCount, c.row_count);
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    service_->log().Clear();
    Download();

    EXPECT_EQ(control_.tally().failed.load(), c.failed);
    EXPECT_EQ(control_.tally().saved.load(), 5 - c.failed);
    const std::vector<FailedPicture> failures = control_.tally().Failures();
    ASSERT_EQ(failures.size(), static_cast<size_t>(c.failed));
    if (c.failed > 0) {
      EXPECT_EQ(rt::ToUtf8(failures[0].why), c.why);
      EXPECT_EQ(rt::ToUtf8(failures[0].id), t.pictures[1].id);
      EXPECT_EQ(Messages().back(), "下载结束：1张图片未能保存");
    } else {
      EXPECT_EQ(Messages().back(), "全部下载完毕");
    }
    const size_t pages = service_->Count(c.listed ? Interface::kList : Interface::kGuide);
    EXPECT_EQ(pages, c.page_requests);
  }
}

}  // namespace
}  // namespace download
