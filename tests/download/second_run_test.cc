// The second run over the same folder: a picture that moved to another place
// in its album, a new first picture, a removed and an appended one, the
// poster option changed, two pictures of one description. Whatever changed,
// no file of the first run is replaced or touched, every picture served is in
// the folder, and a third, unchanged run makes no new file. Also: the
// temporary files a killed run left behind are swept, a live run's are not.
#include <sys/wait.h>
#include <unistd.h>

#include "download_test_support.h"

namespace download {
namespace {

// A thread of `count` pictures whose pictures the given edit may change; an
// album (listed on the board) or a thread read through the picture guide.
standin::Thread Album(bool listed, int count) {
  const std::string tid = "5300000001";
  standin::Thread t{.tid = tid, .title = "旅行", .album = listed, .has_sep = "null"};
  t.pictures = discovery::Pictures(tid, count);
  return t;
}

// A picture none of Album's has.
standin::Picture NewPicture() { return discovery::Pictures("5300000001", 91).back(); }

bool Same(const standin::Thread& a, const standin::Thread& b) {
  const auto same = [](const standin::Picture& p, const standin::Picture& q) {
    return p.id == q.id && p.format == q.format && p.descr == q.descr &&
           p.by_starter == q.by_starter;
  };
  return a.tid == b.tid && a.album == b.album &&
         std::equal(a.pictures.begin(), a.pictures.end(), b.pictures.begin(), b.pictures.end(),
                    same);
}

struct Options {
  bool prevent_repeat = true;
  bool every_poster = true;
  bool description_names = false;
};

struct Case {
  const char* what;
  standin::Thread first;
  standin::Thread second;
  Options first_options;
  Options second_options;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  const auto with = [](standin::Thread t, const std::function<void(standin::Thread&)>& edit) {
    edit(t);
    return t;
  };
  // Every third picture posted by someone other than the starter.
  const standin::Thread posters = with(Album(false, 8), [](standin::Thread& t) {
    for (size_t i = 1; i < t.pictures.size(); i += 3) t.pictures[i].by_starter = false;
  });
  // Each change once for an album and once for a thread, one of them with
  // prevent-repeat off: without the record, only the names keep the files.
  cases.push_back({"starter only, then every poster",
                   posters,
                   posters,
                   {.every_poster = false},
                   {.every_poster = true}});
  cases.push_back({"every poster, then starter only",
                   posters,
                   posters,
                   {.prevent_repeat = false, .every_poster = true},
                   {.prevent_repeat = false, .every_poster = false}});
  for (bool listed : {true, false}) {
    const standin::Thread album = with(Album(listed, 6), [](standin::Thread& t) {
      t.pictures[0].format = standin::PictureFormat::kGif;
      t.pictures[5].format = standin::PictureFormat::kPng;
    });
    const Options options{.prevent_repeat = listed};
    cases.push_back({"a new first picture", album,
                     with(album,
                          [](standin::Thread& t) {
                            t.pictures.insert(t.pictures.begin(), NewPicture());
                            t.pictures[0].format = standin::PictureFormat::kGif;
                          }),
                     options, options});
    cases.push_back({"the first removed, one appended", album,
                     with(album,
                          [](standin::Thread& t) {
                            t.pictures.erase(t.pictures.begin());
                            t.pictures.push_back(NewPicture());
                            t.pictures.back().format = standin::PictureFormat::kPng;
                          }),
                     options, options});
  }
  const standin::Thread described = with(Album(true, 3), [](standin::Thread& t) {
    for (standin::Picture& p : t.pictures) p.descr = "海边";
  });
  cases.push_back({"a new first picture of the same description",
                   described,
                   with(described,
                        [](standin::Thread& t) {
                          t.pictures.insert(t.pictures.begin(), NewPicture());
                          t.pictures[0].descr = "海边";
                        }),
                   {.description_names = true},
                   {.description_names = true}});
  return cases;
}

class SecondRunTest : public DownloadTest {
 protected:
  // Downloads `album` (served anew unless it is served already).
  void Run(const standin::Thread& album, const Options& options) {
    if (!service_ || !Same(service_->data().threads[0], album)) {
      standin::DataSet data;
      data.board = "纸飞机";
      data.threads.push_back(album);
      Serve(std::move(data));
    }
    Find(album.album ? service_->BoardUrl() : service_->ThreadUrl(album.tid));
    ASSERT_EQ(Rows().size(), 1u);
    frame_.ListSetTick(mw::超级列表框1, 0, frame::kTicked);
    frame_.SetChecked(mw::选择框_下载记录, options.prevent_repeat);
    frame_.SetChecked(mw::选择框_下载帖子全部图片, options.every_poster);
    frame_.SetChecked(mw::选择框_文件名, options.description_names);
    Download();
    EXPECT_EQ(control_.tally().failed.load(), 0);
  }

  // The bodies the run over `album` with `options` must find in the folder.
  std::vector<std::string> Bodies(const standin::Thread& album, const Options& options) const {
    std::vector<std::string> bodies;
    for (const standin::Picture& p : album.pictures) {
      if (album.album || options.every_poster || p.by_starter)
        bodies.push_back(standin::PictureBody(service_->data(), p));
    }
    return bodies;
  }

  // Every file under the save folder with its modification time.
  std::map<std::string, fs::file_time_type> Times() const {
    std::map<std::string, fs::file_time_type> times;
    for (const auto& e : fs::recursive_directory_iterator(save_)) {
      if (e.is_regular_file() && !IsManifest(e.path()))
        times[fs::relative(e.path(), save_).string()] = e.last_write_time();
    }
    return times;
  }
};

::testing::AssertionResult Holds(const std::map<std::string, std::string>& files,
                                 const std::vector<std::string>& bodies) {
  std::multiset<std::string> held;
  for (const auto& [name, body] : files) held.insert(body);
  for (size_t i = 0; i < bodies.size(); ++i) {
    if (!held.contains(bodies[i]))
      return ::testing::AssertionFailure() << "picture " << i + 1 << " is in no file";
  }
  return ::testing::AssertionSuccess();
}

// Keeps every file of `before` as it was: same name, same bytes.
::testing::AssertionResult Kept(const std::map<std::string, std::string>& before,
                                const std::map<std::string, std::string>& after) {
  for (const auto& [name, body] : before) {
    const auto it = after.find(name);
    if (it == after.end()) return ::testing::AssertionFailure() << name << " is gone";
    if (it->second != body) return ::testing::AssertionFailure() << name << " was replaced";
  }
  return ::testing::AssertionSuccess();
}

TEST_F(SecondRunTest, AChangedAlbumNeverCostsAFileAndAnUnchangedOneMakesNone) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(std::string(c.what) + (c.first.album ? ", album" : ", thread") +
                 (c.first_options.prevent_repeat ? ", prevent-repeat" : ""));
    fs::remove_all(save_);
    fs::remove_all(folder_.path() / "防止重复下载数据库");
    Run(c.first, c.first_options);
    const auto first = SavedFiles();
    const auto first_times = Times();
    ASSERT_TRUE(Holds(first, Bodies(c.first, c.first_options)));

    Run(c.second, c.second_options);
    const auto second = SavedFiles();
    EXPECT_TRUE(Kept(first, second));
    EXPECT_TRUE(Holds(second, Bodies(c.second, c.second_options)));
    const auto second_times = Times();
    for (const auto& [name, time] : first_times) EXPECT_EQ(second_times.at(name), time) << name;

    // The same run once more: nothing new, nothing rewritten.
    Run(c.second, c.second_options);
    EXPECT_TRUE(SameFiles(SavedFiles(), second));
    EXPECT_EQ(Times(), second_times);
  }
}

// A pid that is certainly not running: a child's, once it has ended.
pid_t EndedPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST_F(SecondRunTest, AKilledRunsTemporaryFilesAreSweptALiveOnesAreKept) {
  const standin::Thread album = Album(true, 2);
  Run(album, {});
  const auto saved = SavedFiles();
  const fs::path folder = save_ / "纸飞机吧_百度贴吧" / "旅行_5300000001";
  ASSERT_TRUE(fs::is_directory(folder));
  const std::string dead = ".tiepic-" + std::to_string(EndedPid()) + "-0.tmp";
  const std::string live = ".tiepic-" + std::to_string(::getppid()) + "-3.tmp";
  const std::string other = ".tiepic-notapid-0.tmp";
  for (const std::string& name : {dead, live, other}) {
    std::ofstream(folder / name) << std::string(2048, 'x');
  }
  fs::remove_all(folder_.path() / "防止重复下载数据库");
  Run(album, {});
  EXPECT_FALSE(fs::exists(folder / dead));
  EXPECT_TRUE(fs::exists(folder / live));
  EXPECT_TRUE(fs::exists(folder / other));
  EXPECT_NE(Log().find("已删除上次中断时留下的临时文件1个"), std::string::npos);
  fs::remove(folder / live);
  fs::remove(folder / other);
  EXPECT_TRUE(SameFiles(SavedFiles(), saved));
}

}  // namespace
}  // namespace download
