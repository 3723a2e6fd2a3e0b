// A shell with album discovery on the headless back end, and a stand-in of
// the service on loopback for it to talk to.
#ifndef TIEPIC_TESTS_DISCOVERY_RETRIEVAL_TEST_SUPPORT_H_
#define TIEPIC_TESTS_DISCOVERY_RETRIEVAL_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery.h"
#include "frame/frame.h"
#include "frame/ui_headless.h"
#include "frame/window_templates.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"
#include "stand-in/server.h"
#include "support/temp_dir.h"

namespace discovery {

namespace mw = frame::main_window;

// A row of the album list, read back as UTF-8.
struct Row {
  std::string number;
  int tick = frame::kTickNone;
  std::string name;
  std::string count;
  std::string id;
  friend bool operator==(const Row&, const Row&) = default;
  friend void PrintTo(const Row& r, std::ostream* os) {
    *os << "{" << r.number << ", tick " << r.tick << ", " << r.name << ", " << r.count << ", "
        << r.id << "}";
  }
};

// `count` pictures with distinct ids for thread `tid` (digits).
inline std::vector<standin::Picture> Pictures(const std::string& tid, int count) {
  std::vector<standin::Picture> pictures(count);
  for (int i = 0; i < count; ++i) {
    // Ids differ within their first 20 bytes, which is all the record keeps.
    char id[41];
    std::snprintf(id, sizeof id, "%020d%020llu", i, std::stoull(tid));
    pictures[i].id = id;
    pictures[i].size = 200;
  }
  return pictures;
}

// A board of `albums` albums named "相册N" with N % 4 pictures each.
inline standin::DataSet Board(int albums) {
  standin::DataSet data;
  data.board = "纸飞机";
  for (int i = 0; i < albums; ++i) {
    standin::Thread t;
    t.tid = std::to_string(4718200000LL + i);
    t.title = "相册" + std::to_string(i + 1);
    t.pictures = Pictures(t.tid, i % 4);
    data.threads.push_back(std::move(t));
  }
  return data;
}

class RetrievalTest : public ::testing::Test {
 protected:
  explicit RetrievalTest(RetrievalPauses pauses = {.after_list_request_ms = 0})
      : discovery_(frame_, shell_, pauses) {
    shell_.Start();
  }

  // Starts the stand-in over `data` and points the program at it.
  void Serve(standin::DataSet data) {
    service_ = std::make_unique<standin::StandIn>(std::move(data));
    std::string error;
    ASSERT_TRUE(service_->Start(&error)) << error;
    shell_.state().service.web_host = "127.0.0.1:" + std::to_string(service_->port());
    shell_.state().service.picture_host = shell_.state().service.web_host;
  }

  // Presses the find button with `address` (UTF-8) in the box.
  void Press(const std::string& address) {
    frame_.SetText(mw::编辑框_号码, rt::FromUtf8(address));
    frame_.DispatchEvent(mw::按钮_获取相册封面, frame::EventKey::kClicked);
  }

  // Serves the worker's calls until the retrieval has ended (at most 60 s).
  void WaitForRetrieval() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (discovery_.retrieval().running() && std::chrono::steady_clock::now() < deadline) {
      frame_.DrainTasks();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(discovery_.retrieval().running()) << "the retrieval did not end";
    frame_.DrainTasks();
  }

  void Find(const std::string& address) {
    Press(address);
    WaitForRetrieval();
  }

  std::vector<Row> Rows() {
    std::vector<Row> rows;
    const frame::ControlRef list = mw::超级列表框1;
    for (int r = 0; r < frame_.ListRowCount(list); ++r) {
      rows.push_back({rt::ToUtf8(frame_.ListGetCell(list, r, mw::kColumnNumber)),
                      frame_.ListGetTick(list, r),
                      rt::ToUtf8(frame_.ListGetCell(list, r, mw::kColumnName)),
                      rt::ToUtf8(frame_.ListGetCell(list, r, mw::kColumnCount)),
                      rt::ToUtf8(frame_.ListGetCell(list, r, mw::kColumnId))});
    }
    return rows;
  }

  std::string Caption(frame::ControlRef ref) { return rt::ToUtf8(frame_.GetText(ref)); }
  std::string Log() { return Caption(mw::编辑框_操作记录); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& box : backend_.message_boxes()) texts.push_back(rt::ToUtf8(box.text));
    return texts;
  }
  // The targets of the requests the stand-in got for `iface`.
  std::vector<std::string> Targets(standin::Interface iface) const {
    std::vector<std::string> targets;
    for (const auto& e : service_->log().Entries()) {
      if (e.iface == iface) targets.push_back(e.target);
    }
    return targets;
  }

  testing_support::TempDir folder_;
  frame::HeadlessBackend backend_;
  frame::Frame frame_{backend_, folder_.path().string()};
  shell::Shell shell_{frame_};
  Discovery discovery_;
  std::unique_ptr<standin::StandIn> service_;
};

}  // namespace discovery

#endif  // TIEPIC_TESTS_DISCOVERY_RETRIEVAL_TEST_SUPPORT_H_
