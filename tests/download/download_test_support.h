// A shell with album discovery and the download run on the headless back end,
// a stand-in of the service, and the checks every download test makes: which
// files the save folder holds, and that each is byte for byte the picture the
// stand-in served.
#ifndef TIEPIC_TESTS_DOWNLOAD_DOWNLOAD_TEST_SUPPORT_H_
#define TIEPIC_TESTS_DOWNLOAD_DOWNLOAD_TEST_SUPPORT_H_

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "../discovery/retrieval_test_support.h"
#include "download/download_run.h"

namespace download {

namespace fs = std::filesystem;
namespace mw = frame::main_window;
using discovery::Row;

// Returns true iff `path` is an album folder's manifest, which grows with
// every run and is no picture.
inline bool IsManifest(const fs::path& path) { return path.filename() == ".tiepic.jsonl"; }

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Compares two sets of files by name and content, naming the differences
// instead of printing every byte.
inline ::testing::AssertionResult SameFiles(const std::map<std::string, std::string>& actual,
                                            const std::map<std::string, std::string>& expected) {
  std::string problems;
  int shown = 0;
  auto note = [&](const std::string& what) {
    if (shown++ < 10) problems += "\n  " + what;
  };
  for (const auto& [name, body] : expected) {
    auto it = actual.find(name);
    if (it == actual.end()) {
      note("missing " + name);
    } else if (it->second != body) {
      note("different " + name + " (" + std::to_string(it->second.size()) + " bytes, expected " +
           std::to_string(body.size()) + ")");
    }
  }
  for (const auto& [name, body] : actual) {
    if (!expected.contains(name)) note("unexpected " + name);
  }
  if (shown == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << shown << " differences:" << problems;
}

class DownloadTest : public discovery::RetrievalTest {
 protected:
  explicit DownloadTest(DownloadPauses pauses = {.empty_page_retry_ms = 0,
                                                 .after_list_picture_ms = 0})
      : control_(frame_, shell_.state(), discovery_.retrieval(), pauses) {
    WireDownloadButtons(shell_.hooks(), control_);
    frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8(save_.string()));
  }

  // Presses the download button and serves the worker until the run ends.
  void Download() {
    frame_.DispatchEvent(mw::按钮_下载选中, frame::EventKey::kClicked);
    WaitForRun();
  }

  // Serves the worker until `done` holds (at most 20 s); returns done().
  template <class F>
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

  void WaitForRun(int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (control_.running() && std::chrono::steady_clock::now() < deadline) {
      frame_.DrainTasks();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(control_.running()) << "the run did not end";
    frame_.DrainTasks();
  }

  // Every picture file under the save folder (the album folders' manifests
  // aside), by its path relative to it (UTF-8).
  std::map<std::string, std::string> SavedFiles() const {
    std::map<std::string, std::string> files;
    if (!fs::exists(save_)) return files;
    for (const auto& e : fs::recursive_directory_iterator(save_)) {
      if (e.is_regular_file() && !IsManifest(e.path()))
        files[fs::relative(e.path(), save_).string()] = ReadFile(e.path());
    }
    return files;
  }

  // The body the stand-in serves for picture `id` of thread `tid`.
  std::string Served(const std::string& tid, const std::string& id) const {
    const auto* thread = service_->index().FindThread(tid);
    EXPECT_NE(thread, nullptr) << tid;
    for (const auto& p : thread->pictures) {
      if (p.id == id) return standin::PictureBody(service_->data(), p);
    }
    ADD_FAILURE() << "no picture " << id;
    return {};
  }

  // The files an album download should leave: "(n)" + `ext` for the
  // thread's pictures in order, under `folder`, each with the served body.
  std::map<std::string, std::string> Expected(const standin::Thread& t, const std::string& folder,
                                              const char* ext = ".jpg") const {
    std::map<std::string, std::string> files;
    for (size_t i = 0; i < t.pictures.size(); ++i) {
      files[folder + "/(" + std::to_string(i + 1) + ")" + ext] =
          standin::PictureBody(service_->data(), t.pictures[i]);
    }
    return files;
  }

  size_t PictureRequests() const { return service_->Count(standin::Interface::kPicture); }
  // Requests for picture `id` since the stand-in's log was last cleared.
  size_t RequestsFor(const std::string& id) const {
    size_t n = 0;
    for (const std::string& target : Targets(standin::Interface::kPicture)) {
      n += target.find(id) != std::string::npos;
    }
    return n;
  }

  // Serves a board "纸飞机" of one album of `pictures` pictures, which `edit`
  // may change first. Returns the album as served.
  const standin::Thread& ServeOneAlbum(const std::string& tid, const std::string& title,
                                       int pictures,
                                       const std::function<void(standin::Thread&)>& edit = {}) {
    standin::DataSet data;
    data.board = "纸飞机";
    standin::Thread album{
        .tid = tid, .title = title, .pictures = discovery::Pictures(tid, pictures)};
    if (edit) edit(album);
    data.threads.push_back(std::move(album));
    Serve(std::move(data));
    return service_->data().threads[0];
  }

  fs::path save_ = folder_.path() / "保存";
  DownloadControl control_;
};

}  // namespace download

#endif  // TIEPIC_TESTS_DOWNLOAD_DOWNLOAD_TEST_SUPPORT_H_
