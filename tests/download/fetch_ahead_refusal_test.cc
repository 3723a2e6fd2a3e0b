// Faults found in review of fetching pictures ahead: with four fetches at
// once, refusals are asked, counted and logged otherwise than with one, a
// paused run goes on asking, and with one a refused picture's wait is logged
// only once it is over.
#include <regex>

#include "download_test_support.h"

namespace download {
namespace {

using standin::Interface;

// The waits of a refused request are random: their figures are left out.
std::string WithoutWaits(const std::string& log) {
  static const std::regex wait("[0-9]+\\.[0-9]+秒后重试");
  return std::regex_replace(log, wait, "N秒后重试");
}

size_t Count(const std::string& text, const std::string& part) {
  size_t found = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

class FetchAheadRefusalTest : public DownloadTest {
 protected:
  explicit FetchAheadRefusalTest(int refusal_first_wait_ms = 30)
      : DownloadTest({.empty_page_retry_ms = 0,
                      .after_list_picture_ms = 0,
                      .refusal_first_wait_ms = refusal_first_wait_ms}) {
    // One interface for each kind of album: its refusals are what is tested.
    shell_.state().profile.order_album = "list";
    shell_.state().profile.order_thread = "guide";
  }

  struct Outcome {
    std::string log;
    size_t picture_requests = 0;
    size_t guide_requests = 0;
    int64_t refused = 0;
  };

  // One run over `address` from empty save and record folders.
  Outcome Run(const std::string& address, int parallel) {
    fs::remove_all(save_);
    fs::remove_all(folder_.path() / "防止重复下载数据库");
    shell_.state().parallel_fetches = parallel;
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    Find(address);
    frame_.SetText(mw::编辑框_操作记录, "");
    service_->log().Clear();
    Download();
    return {WithoutWaits(Log()), PictureRequests(), service_->Count(Interface::kGuide),
            control_.tally().refused.load()};
  }
};

// Two pictures of an album are refused for good. One at a time, the second
// is given up after one try, as the first refusal has persisted; four at a
// time it is already being asked for while the first still waits, so it is
// asked four times and logs three more lines.
TEST_F(FetchAheadRefusalTest, ASecondPersistingRefusalIsAskedAndLoggedAsWithOneFetch) {
  const standin::Thread& album = ServeOneAlbum("4718500000", "相册甲", 8);
  service_->AddFault("picture/" + album.pictures[1].id + ":status=403");
  service_->AddFault("picture/" + album.pictures[2].id + ":status=403");

  const Outcome one = Run(service_->BoardUrl(), 1);
  const Outcome four = Run(service_->BoardUrl(), 4);

  EXPECT_EQ(one.picture_requests, 8u - 2 + 4 + 1);
  EXPECT_EQ(Count(one.log, "秒后重试"), 3u) << one.log;
  // Each picture refused when fetched ahead is asked once more at its turn:
  // the refusal may have ended by then.
  EXPECT_EQ(four.picture_requests, one.picture_requests + 2);
  EXPECT_EQ(Count(four.log, "秒后重试"), Count(one.log, "秒后重试"));
  EXPECT_EQ(four.log, one.log);
}

// A thread whose guide pages are all refused for good. One at a time, each
// page's unread line follows that page's refusal; four at a time the next
// page is asked for (and its refusal logged at once) before the current
// page's unread line.
TEST_F(FetchAheadRefusalTest, GuidePageRefusalsAreLoggedInThePagesOrder) {
  standin::DataSet data;
  data.board = "纸飞机";
  standin::Thread thread{.tid = "4718500001", .title = "帖子乙"};
  thread.album = false;
  thread.has_sep = "null";  // its pictures come through the guide
  thread.pictures = discovery::Pictures(thread.tid, 110);
  data.threads.push_back(thread);
  Serve(std::move(data));
  const std::string address = service_->ThreadUrl(thread.tid);

  // The retrieval itself is served; the download's guide pages are refused.
  shell_.state().parallel_fetches = 1;
  Find(address);
  const auto run = [&](int parallel) {
    fs::remove_all(save_);
    fs::remove_all(folder_.path() / "防止重复下载数据库");
    shell_.state().parallel_fetches = parallel;
    const int fault = service_->AddFault("guide:status=403");
    frame_.SetText(mw::编辑框_操作记录, "");
    Download();
    service_->faults().Remove(fault);
    return WithoutWaits(Log());
  };
  const std::string one = run(1);
  const std::string four = run(4);

  const std::string unread_one = "图片列表第1页未能读取";
  const std::string refused_for_good = "图片列表页被服务器拒绝（HTTP 403），仍被拒绝，跳过；";
  ASSERT_NE(one.find(unread_one), std::string::npos) << one;
  // One at a time: page 2's refusal comes after page 1's unread line.
  EXPECT_NE(one.find(refused_for_good, one.find(unread_one)), std::string::npos) << one;
  EXPECT_EQ(four, one);
}

// A paused run sends no picture request: a refused picture's next try waits
// for the run to continue, as it does when fetched at its turn.
class FetchAheadPauseTest : public FetchAheadRefusalTest, public ::testing::WithParamInterface<int> {
 protected:
  FetchAheadPauseTest() : FetchAheadRefusalTest(300) {}  // tries 300, 600 and 1200 ms apart
};

TEST_P(FetchAheadPauseTest, APausedRunSendsNoPictureRequest) {
  const standin::Thread& album = ServeOneAlbum("4718500002", "相册丙", 6);
  Find(service_->BoardUrl());
  const std::string refused = album.pictures[0].id;
  service_->AddFault("picture/" + refused + ":status=403");
  shell_.state().parallel_fetches = GetParam();
  backend_.SetResponder({.message_box = [](const frame::MessageBoxRequest&) {
    return frame::DialogButton::kOk;
  }});
  const auto asked_for_refused = [&] { return RequestsFor(refused); };

  service_->log().Clear();
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
  // The refused picture's first wait has begun (fetching ahead, its answer
  // fetched ahead was asked again at its turn first).
  ASSERT_TRUE(ServeUntil([&] { return Log().find("被服务器拒绝") != std::string::npos; }));
  const size_t tries = asked_for_refused();
  ASSERT_EQ(tries, GetParam() == 1 ? 1u : 2u);
  frame_.DispatchEvent(mw::按钮_暂停线程, frame::EventKey::kClicked);
  // Fetches ahead begun before the pause may still arrive; none begins after.
  ServeFor(100);
  const size_t at_pause = PictureRequests();
  // Long enough for every further try of the refused picture.
  ServeFor(2700);
  EXPECT_EQ(asked_for_refused(), tries) << "tries of the refused picture while paused";
  EXPECT_EQ(PictureRequests(), at_pause);
  frame_.DispatchEvent(mw::按钮_结束下载, frame::EventKey::kClicked);
  WaitForRun(10);
}

INSTANTIATE_TEST_SUITE_P(Fetches, FetchAheadPauseTest, ::testing::Values(1, 4));

}  // namespace
}  // namespace download

namespace download {
namespace {

// An album that lists one picture twice, with the record on: one at a time
// the second entry is skipped at its turn and never asked for. Four at a time
// it is fetched ahead all the same; when the service refuses that needless
// fetch for good, the run counts a persisting refusal (which later requests
// and tiepic-cli's exit status go by) and the album's end waits for its
// back-off.
class FetchAheadGivenUpTest : public FetchAheadRefusalTest, public ::testing::WithParamInterface<int> {
 protected:
  FetchAheadGivenUpTest() : FetchAheadRefusalTest(300) {}
};

TEST_P(FetchAheadGivenUpTest, AFetchGivenUpCountsNoRefusal) {
  const standin::Thread& album = ServeOneAlbum(
      "4718500003", "相册丁", 10,
      [](standin::Thread& t) { t.pictures[6] = t.pictures[0]; });  // listed again
  Find(service_->BoardUrl());
  const std::string twice = album.pictures[0].id;
  frame_.SetChecked(mw::选择框_下载记录, true);
  shell_.state().parallel_fetches = GetParam();
  // The first request for it takes 300 ms; once it has come, the service
  // turns every further one away.
  service_->AddFault("picture/" + twice + ":latency=300");
  const auto asked_for_twice = [&] { return RequestsFor(twice); };
  service_->log().Clear();
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
  ServeUntil([&] { return asked_for_twice() >= 1; });
  ASSERT_EQ(asked_for_twice(), 1u);
  service_->AddFault("picture/" + twice + ":status=403");
  WaitForRun(20);

  EXPECT_EQ(control_.tally().saved.load(), 9);
  EXPECT_EQ(control_.tally().skipped.load(), 1);
  EXPECT_EQ(control_.tally().refused.load(), 0);
  EXPECT_EQ(asked_for_twice(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Fetches, FetchAheadGivenUpTest, ::testing::Values(1, 4));

// One fetch at a time, on the worker: the line announcing a refused
// picture's next try is logged when the wait begins, as a refused picture
// list's is, not once every try is over.
class RefusedPictureLineTest : public FetchAheadRefusalTest {
 protected:
  RefusedPictureLineTest() : FetchAheadRefusalTest(1500) {}
};

TEST_F(RefusedPictureLineTest, ARefusedPicturesWaitIsLoggedWhenItBegins) {
  const standin::Thread& album = ServeOneAlbum("4718500004", "相册戊", 3);
  Find(service_->BoardUrl());
  service_->AddFault("picture/" + album.pictures[0].id + ":status=403");
  shell_.state().parallel_fetches = 1;
  backend_.SetResponder({.message_box = [](const frame::MessageBoxRequest&) {
    return frame::DialogButton::kOk;
  }});
  service_->log().Clear();
  frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
  ServeUntil([&] { return PictureRequests() >= 1; });
  ASSERT_EQ(PictureRequests(), 1u);
  // Well into the first wait (1.1 s at the least).
  ServeFor(600);
  EXPECT_EQ(PictureRequests(), 1u);
  EXPECT_NE(Log().find("图片(1)被服务器拒绝（HTTP 403），"), std::string::npos) << Log();
  // A stop during the wait: the refusal met is still in the log.
  frame_.DispatchEvent(mw::按钮_结束下载, frame::EventKey::kClicked);
  WaitForRun(10);
  EXPECT_NE(Log().find("图片(1)被服务器拒绝（HTTP 403），"), std::string::npos) << Log();
}

}  // namespace
}  // namespace download
