// tiepic-cli on the service's bad days, as one table: a service that cannot
// be reached, pages answering errors, a guide answering 500, a picture-list
// page that stays unread, rows --albums names in vain and a thread without
// pictures, each with the exit status, what standard error says and the
// last lines of the log. Against the stand-in of the service and its faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/program_run.h"
#include "stand-in/server.h"
#include "stand-in/today.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FilesUnder;
using testing_support::ProgramRun;
using testing_support::RunProgram;

// `count` pictures of 256 bytes with ids distinct in their first 20 bytes.
std::vector<standin::Picture> Pictures(const std::string& tid, int count) {
  std::vector<standin::Picture> pictures(count);
  for (int i = 0; i < count; ++i) {
    pictures[i].id = std::to_string(100000 + i) + tid + std::string(20, 'a');
    pictures[i].size = 256;
  }
  return pictures;
}

// A board of four albums (201, 3, 1 and 1 pictures), a thread of 2 pictures
// and a thread of none, neither listed on the board.
standin::DataSet Service() {
  standin::DataSet data;
  data.board = "纸飞机";
  const int counts[] = {201, 3, 1, 1};
  for (int i = 0; i < 4; ++i) {
    standin::Thread t;
    t.tid = std::to_string(4718200000LL + i);
    t.title = "相册" + std::to_string(i + 1);
    t.pictures = Pictures(t.tid, counts[i]);
    data.threads.push_back(std::move(t));
  }
  for (const auto& [tid, count] : {std::pair{"5100000001", 2}, std::pair{"5100000002", 0}}) {
    standin::Thread t;
    t.tid = tid;
    t.title = "帖子" + std::string(tid).substr(9);
    t.album = false;
    t.has_sep = "null";  // the guide lists its pictures
    t.pictures = Pictures(t.tid, count);
    data.threads.push_back(std::move(t));
  }
  return data;
}

enum class Target { kBoard, kGoodThread, kEmptyThread, kClosedBoard, kClosedThread };

struct Case {
  const char* name;
  Target target;
  const char* fault;               // "" for none
  std::vector<std::string> extra;  // more arguments
  int status;
  std::string err;               // all of standard error
  std::vector<std::string> out;  // found in standard output, in this order
  std::string out_end;           // how standard output ends
  size_t files;                  // pictures saved
};

const std::string kClosing = "-----获取完毕,共计";

TEST(CliFailures, EachEndsWithItsOwnStatusAndSaysWhy) {
  standin::StandIn service(Service());
  ASSERT_TRUE(service.Start());
  const std::string host = "127.0.0.1:" + std::to_string(service.port());
  // A stand-in started and stopped again leaves a port nothing listens on.
  standin::StandIn gone(Service());
  ASSERT_TRUE(gone.Start());
  gone.Stop();
  const std::string gone_host = "127.0.0.1:" + std::to_string(gone.port());

  const std::string no_service = "[信息：] 无法连接到服务器，未能获取相册\n";
  const Case cases[] = {
      {"closed port, board",
       Target::kClosedBoard,
       "",
       {},
       5,
       no_service,
       {"贴吧首页未能获取（无法连接到服务器）\r\n", "相册列表第1页未能获取（无法连接到服务器）\r\n",
        kClosing + "0个\r\n\r\n"},
       "无法连接到服务器，未能获取相册\r\n\r\n",
       0},
      {"closed port, board, quiet",
       Target::kClosedBoard,
       "",
       {"-q"},
       5,
       "tiepic-cli: could not reach the service; no albums found\n",
       {},
       "",
       0},
      {"closed port, thread",
       Target::kClosedThread,
       "",
       {},
       5,
       no_service,
       {"帖子页面未能获取（无法连接到服务器）\r\n", kClosing + "1个\r\n\r\n"},
       "无法连接到服务器，未能获取相册\r\n\r\n",
       0},
      {"closed port, listing",
       Target::kClosedBoard,
       "",
       {"--list"},
       5,
       "正努力获取相册列表，耐心等待哈！\r\n\r\n贴吧首页未能获取（无法连接到服务器）\r\n"
       "相册列表第1页未能获取（无法连接到服务器）\r\n相册列表第1页未能获取（无法连接到服务器）\r"
       "\n" +
           kClosing + "0个\r\n\r\n无法连接到服务器，未能获取相册\r\n\r\n" + no_service,
       {},
       "",
       0},
      {"every page 404",
       Target::kBoard,
       "all:status=404",
       {},
       5,
       "[信息：] 服务器返回错误（HTTP 404），未能获取相册\n",
       {"贴吧首页未能获取（HTTP 404）\r\n", "相册列表第1页未能获取（HTTP 404）\r\n"},
       kClosing + "0个\r\n\r\n服务器返回错误（HTTP 404），未能获取相册\r\n\r\n",
       0},
      {"every page 500, quiet",
       Target::kBoard,
       "all:status=500",
       {"-q"},
       5,
       "tiepic-cli: the service answered with errors (HTTP 500); no albums found\n",
       {},
       "",
       0},
      {"guide 500 on a thread",
       Target::kGoodThread,
       "guide:status=500",
       {},
       5,
       "[信息：] 服务器返回错误（HTTP 500），未能获取相册\n",
       {"图片导航未能获取（HTTP 500，已试10次）\r\n", kClosing + "1个\r\n\r\n"},
       "服务器返回错误（HTTP 500），未能获取相册\r\n\r\n",
       0},
      {"guide 500 twice on a thread, then an answer",
       Target::kGoodThread,
       "guide:status=500*2",
       {},
       0,
       "[信息：] 全部下载完毕\n",
       {"Done: 1 album; 2 pictures saved, 0 skipped as already saved, 0 failed; 512 bytes in "},
       "",
       2},
      {"a picture-list page unread through its ten tries",
       Target::kBoard,
       "list:status=500*10",
       {"--albums", "1"},
       1,
       "[信息：] 下载结束：200张图片未能获取，1页图片列表未能读取\n",
       {"图片列表第1页未能读取\r\n", "相册《相册1》有200张图片未能获取",
        "Done: 1 album; 1 picture saved, 0 skipped as already saved, 0 failed; 256 bytes in ",
        " s; 200 pictures not asked for, 1 picture-list page unread; 1 new since the last "
        "run\n"},
       "Not asked for, as a picture-list page stayed unread (album, pictures):\n  相册1\t200\n",
       1},
      {"a picture-list page unread, quiet",
       Target::kBoard,
       "list:status=500*10",
       {"--albums", "1", "-q"},
       1,
       "tiepic-cli: 200 pictures not asked for, 1 picture-list page unread\n  相册1\t200\n",
       {},
       "",
       1},
      {"one transient 500 on a picture-list page",
       Target::kBoard,
       "list:status=500*1",
       {"--albums", "2"},
       0,
       "[信息：] 全部下载完毕\n",
       {"Done: 1 album; 3 pictures saved, 0 skipped as already saved, 0 failed; 768 bytes in "},
       "",
       3},
      {"--albums 9 on a board of 4",
       Target::kBoard,
       "",
       {"--albums", "2,5-6,9", "-q"},
       2,
       "tiepic-cli: --albums names rows the list does not have: 5-6,9 (it has 4 rows; --list "
       "shows them)\n",
       {},
       "",
       0},
      {"a thread of 0 pictures",
       Target::kEmptyThread,
       "",
       {},
       0,
       "",
       {kClosing + "1个\r\n\r\n"},
       "The thread has 0 pictures: nothing to download\nDone: 1 album; 0 pictures saved, 0 "
       "skipped as already saved, 0 failed; 0 bytes in ",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempDir folder;
    const fs::path home = folder.path() / "home";
    const fs::path save = folder.path() / "save";
    fs::create_directories(home);
    // The stand-in needs no waits before a page is asked again. One
    // interface for each task: how its failures are told is tested here,
    // not the interfaces that stand in for it.
    std::ofstream(home / "one-each.ini", std::ios::binary)
        << "[order]\r\nalbums=albums\r\nalbum=list\r\nthread=guide\r\n";
    std::ofstream(home / "配置.ini", std::ios::binary)
        << "[service]\r\nretry_wait_ms=10\r\nprofile=" << (home / "one-each.ini").string() << "\r\n";
    service.faults().Clear();
    if (*c.fault) ASSERT_GE(service.AddFault(c.fault), 0);
    const bool closed = c.target == Target::kClosedBoard || c.target == Target::kClosedThread;
    const standin::StandIn& at = closed ? gone : service;
    const std::string address = c.target == Target::kBoard || c.target == Target::kClosedBoard
                                    ? at.BoardUrl()
                                : c.target == Target::kEmptyThread ? at.ThreadUrl("5100000002")
                                                                   : at.ThreadUrl("5100000001");
    std::vector<std::string> arguments = {std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli",
                                          "--home",
                                          home.string(),
                                          "-o",
                                          save.string(),
                                          "--no-prevent-repeat",
                                          "--web-host",
                                          closed ? gone_host : host,
                                          "--picture-host",
                                          closed ? gone_host : host};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    arguments.push_back(address);
    const ProgramRun run = RunProgram(arguments);

    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    // The log's first line says the profile that pins the interfaces was loaded.
    std::string err = run.err;
    if (err.starts_with("已载入服务配置文件")) err.erase(0, err.find('\n') + 1);
    EXPECT_EQ(err, c.err);
    size_t at_out = 0;
    for (const std::string& piece : c.out) {
      const size_t found = run.out.find(piece, at_out);
      EXPECT_NE(found, std::string::npos) << "missing: " << piece << "\nin:\n" << run.out;
      if (found != std::string::npos) at_out = found + piece.size();
    }
    if (c.out.empty() && c.out_end.empty()) {
      EXPECT_EQ(run.out, "");  // quiet, listing nothing, or a usage error
    } else if (c.out_end.ends_with(" in ")) {
      EXPECT_NE(run.out.find(c.out_end, at_out), std::string::npos) << run.out;
    } else {
      EXPECT_TRUE(run.out.ends_with(c.out_end)) << run.out;
    }
    EXPECT_EQ(FilesUnder(save), c.files);
  }
}

}  // namespace

namespace {

// --check-service: a line an interface, status 0 only when every one fits,
// 6 when one answered otherwise, 4 for a refusal, 5 for no answer, and 3 for
// an address it cannot read; against a service that
// answers as the profile expects, one that renamed a member (before and
// after a profile mends it), one that refuses, and none at all.
TEST(CliCheckService, SaysHowEachInterfaceAnswersAndExitsWithItsOwnStatus) {
  const auto renaming = [](std::string from, std::string to) {
    standin::DataSet data = Service();
    data.style.renamed_members = {{std::move(from), std::move(to)}};
    return data;
  };
  // Today's service as public reports describe it: the album list retired,
  // the thread page without its board, the list for browsers only.
  standin::DataSet today_data = Service();
  today_data.style.today = standin::kAllTodayParts &
                           ~static_cast<standin::TodayParts>(standin::TodayPart::kHtmlCheck) &
                           ~static_cast<standin::TodayParts>(standin::TodayPart::kHttps);
  standin::StandIn service(Service()), changed(renaming("pic_id", "picture_id")),
      no_sep(renaming("has_sep", "sep")), no_descr(renaming("descr", "text")), gone(Service()),
      today(std::move(today_data));
  for (standin::StandIn* s : {&service, &changed, &no_sep, &no_descr, &gone, &today})
    ASSERT_TRUE(s->Start());
  gone.Stop();
  const std::vector<std::string> all_fit = {
      "board page: fits (纸飞机吧_百度贴吧)",
      "album list: fits (4 albums on its first page)",
      "thread page: fits (相册1)",
      "picture list: fits (200 pictures on its first page)",
      "picture total: fits (201 pictures)",
      "picture guide: fits (201 pictures)",
      "picture file: fits (256 bytes)",
      "version page: fits (newest version 1.0)"};
  const struct {
    const char* name;
    standin::StandIn* at;
    const char* fault;
    const char* thread;   // the thread's id; nullptr: the board
    const char* profile;  // "" for the built-in one
    int status;
    std::vector<std::string> lines;  // in standard output, in this order
  } cases[] = {
      {"a service as expected", &service, "", nullptr, "", 0, all_fit},
      {"a thread", &service, "", "5100000001", "", 0,
       {"thread page: fits (帖子1)", "picture guide: fits (2 pictures)",
        "picture file: fits (256 bytes)", "version page: fits (newest version 1.0)"}},
      // A board album's pictures come by the list and the picture path.
      {"a board album by its thread, its picture path moved", &service, "", "4718200001",
       "[picture]\npath=/elsewhere/{id}.jpg\n", 6,
       {"thread page: fits (相册2)", "picture guide: fits (3 pictures)",
        "picture list: fits (3 pictures on its first page)", "picture total: fits (3 pictures)",
        "picture file: answered HTTP 404 (is [picture] path still where it is asked?)"}},
      {"a thread without pictures", &service, "", "5100000002", "", 0,
       {"picture guide: fits (0 pictures)", "picture file: not asked (no picture to ask for)"}},
      {"a renamed member", &changed, "", nullptr, "", 6,
       {"picture list: answered, but member pic_id ([list] id) is missing",
        "picture total: fits (201 pictures)"}},
      {"a renamed member, mended", &changed, "", nullptr, "[list]\nid=picture_id\n", 0, all_fit},
      {"a guide without its separator", &no_sep, "", "4718200001", "", 6,
       {"picture guide: answered, but member data.has_sep ([guide] sep) is missing",
        "version page: not asked (no version_page in [service] of the settings)"}},
      {"a guide without descriptions", &no_descr, "", "5100000001", "", 6,
       {"picture guide: answered, but member descr ([guide] description) is missing"}},
      {"a refusing thread page", &service, "thread:security-check", "5100000001", "", 4,
       {"thread page: refused (a security check)", "picture guide: fits (2 pictures)",
        "client picture page: not asked (the picture guide answered)"}},
      // The lines say which interface stands in for the one that moved.
      {"today's board", &today, "", nullptr, "", 6,
       {"album list: answered HTTP 404 (is [albums] path still where it is asked?)",
        "album tab: fits (4 albums)",
        "thread page: answered, but marker meta furl=\"*\" fname= ([thread] board) found nothing",
        "picture list: refused (HTTP 403)"}},
      {"today's thread, its guide gone too", &today, "guide:status=404", "5100000001", "", 6,
       {"picture guide: answered HTTP 404 (is [guide] path still where it is asked?)",
        "forum id: not asked (no board name)", "client picture page: fits (2 pictures)",
        "picture file: fits (256 bytes)"}},
      {"no service", &gone, "", nullptr, "", 5,
       {"board page: unreachable", "album list: unreachable",
        "thread page: not asked (no thread to ask for)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempDir folder;
    const fs::path home = folder.path() / "home";
    fs::create_directories(home);
    const std::string host = "127.0.0.1:" + std::to_string(c.at->port());
    // The check asks the version page the settings name, none by default.
    if (c.at != &no_sep) {
      std::ofstream(home / "配置.ini", std::ios::binary)
          << "[service]\r\nversion_page=" << c.at->VersionUrl() << "\r\n";
    }
    std::ofstream(folder.path() / "profile.ini", std::ios::binary)
        << "[waits]\nafter_page_ms=0\n" << c.profile;
    c.at->faults().Clear();
    if (*c.fault) ASSERT_GE(c.at->AddFault(c.fault), 0);
    const ProgramRun run = RunProgram(
        {std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli", "--home", home.string(), "--web-host", host,
         "--picture-host", host, "--profile", (folder.path() / "profile.ini").string(),
         "--check-service", c.thread ? c.at->ThreadUrl(c.thread) : c.at->BoardUrl()});
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    size_t at_out = 0;
    for (const std::string& line : c.lines) {
      const size_t found = run.out.find(line + "\n", at_out);
      EXPECT_NE(found, std::string::npos) << "missing: " << line << "\nin:\n" << run.out;
      if (found != std::string::npos) at_out = found + line.size();
    }
  }
  testing_support::TempDir folder;
  const ProgramRun elsewhere =
      RunProgram({std::string(TIEPIC_BUILD_DIR) + "/tiepic-cli", "--home", folder.path().string(),
                  "--check-service", "http://elsewhere.test/x"});
  EXPECT_EQ(elsewhere.status, 3);
  EXPECT_NE(elsewhere.err.find("网址格式无法识别"), std::string::npos) << elsewhere.err;
}

}  // namespace
