// When the service renames a member the downloads read, a run says it could
// not read the pages, and a profile edited by hand (no rebuild) makes the
// download work again with the same files as before the change.
#include "download_test_support.h"
#include "download/repeat_record.h"
#include "download/service_check.h"
#include "shell/settings.h"

namespace download {
namespace {

// How the service changed: one switch of the stand-in's answer style.
struct Change {
  std::vector<std::pair<std::string, std::string>> renamed, nested, moved;
  std::vector<std::string> retyped;
  std::string wall_type = "v";
};

class ProfileDownloadTest : public DownloadTest {
 protected:
  // Serves one album of 7 pictures, listed on the board or read through the
  // guide, its answers changed by `change`.
  void ServeAlbum(bool listed, const Change& change) {
    standin::DataSet data;
    data.board = "纸飞机";
    data.style.renamed_members = change.renamed;
    data.style.nested_members = change.nested;
    data.style.moved_paths = change.moved;
    data.style.retyped_members = change.retyped;
    data.style.list_wall_type = change.wall_type;
    standin::Thread t{.tid = "5500000001", .title = "山", .album = listed, .has_sep = "null"};
    if (listed) t.has_sep = "0";
    t.pictures = discovery::Pictures(t.tid, 7);
    data.threads.push_back(std::move(t));
    Serve(std::move(data));
    shell_.state().service.version_page = rt::FromUtf8(service_->VersionUrl());
  }
  std::string Address(bool listed) const {
    return listed ? service_->BoardUrl() : service_->ThreadUrl(service_->data().threads[0].tid);
  }
  // Finds the album and, when a row came with its count, downloads it with
  // prevent-repeat on, from an empty save folder and an empty record.
  void Run(bool listed) {
    fs::remove_all(save_);
    fs::remove_all(rt::ToUtf8(RecordFolder()));
    Find(Address(listed));
    if (Rows().size() != 1 || Rows()[0].count.empty()) return;  // the retrieval has said why
    frame_.ListSetTick(mw::超级列表框1, 0, frame::kTicked);
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    frame_.SetChecked(mw::选择框_下载记录, true);
    Download();
  }
  // The record files of the last run, by name, without the header's first
  // 16 bytes (which hold the time the record was made).
  std::map<std::string, std::string> Records() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(rt::ToUtf8(RecordFolder()))) {
      if (e.path().extension() == ".edb")
        files[e.path().filename().string()] = ReadFile(e.path()).substr(16);
    }
    return files;
  }
  // Loads the profile `text` as the settings file's [service] profile
  // would, with the service's pause after each page cut to nothing, and one
  // interface for each task: how a change of it is told is tested here, not
  // the interfaces that stand in for it.
  bool UseProfile(const std::string& text) {
    const fs::path path = folder_.path() / "profile.ini";
    std::ofstream(path, std::ios::binary)
        << "[waits]\nafter_page_ms=0\n" << text << "\n[order]\nalbums=albums\nalbum=list\nthread=guide\n";
    shell_.state().service.profile_file = rt::FromUtf8(path.string());
    return shell::LoadServiceProfile(frame_, shell_.state());
  }
  // The lines of --check-service for the album's address, and whether the
  // interface `what` fits.
  std::string Check(bool listed, Interface what, bool* fits) {
    std::string lines;
    *fits = false;
    for (const InterfaceCheck& c :
         CheckService(shell_.state(), rt::FromUtf8(Address(listed)), {})) {
      lines += CheckLine(c) + "\n";
      if (c.interface == what) *fits = c.fit == Fit::kFits;
    }
    return lines;
  }
};

// For each way a service changes: the download of the changed service fails
// and says so, the check names the interface and the profile key, and a
// profile edited by hand (no rebuild) brings back the same files and
// records. A change the program reads either way (a number for a string)
// changes nothing.
TEST_F(ProfileDownloadTest, EachChangeIsToldAndNamedAndAnEditedProfileMendsIt) {
  const struct {
    const char* what;
    bool listed;
    Change change;
    Interface where;
    const char* named;    // in the check's line; nullptr: the change is read as it is
    const char* told;     // in the log of the changed service's run
    const char* profile;  // the mend
  } cases[] = {
      {"a renamed list id", true, {.renamed = {{"pic_id", "picture_id"}}}, Interface::kPictureList,
       "member pic_id ([list] id) is missing", "图片列表第1页未能读取", "[list]\nid=picture_id\n"},
      {"a renamed guide member", false, {.renamed = {{"screen", "big"}}}, Interface::kGuide,
       "member img.screen.id ([guide] id) is missing", "图片列表第1页未能读取",
       "[guide]\nid=img.big.id|img.screen.id\naddress=img.big.waterurl\n"},
      {"the list's entries nested deeper", true, {.nested = {{"pic_list", "pictures"}}},
       Interface::kPictureList, "member data.pic_list ([list] pictures) is missing",
       "图片列表第1页未能读取", "[list]\npictures=data.pictures.pic_list\n"},
      {"the guide's entries nested deeper", false, {.nested = {{"img", "image"}}}, Interface::kGuide,
       "member img.screen.id ([guide] id) is missing", "图片列表第1页未能读取",
       "[guide]\nid=image.img.screen.id\naddress=image.img.screen.waterurl\n"},
      {"the list moved", true, {.moved = {{"/photo/g/bw/picture/list", "/photo/g/bw/picture/l2"}}},
       Interface::kPictureList, "answered HTTP 404 (is [list] path still", "图片列表第1页未能读取",
       "[list]\npath=/photo/g/bw/picture/l2\n"},
      {"the album list moved", true, {.moved = {{"/photo/g", "/photo/albums"}}},
       Interface::kAlbumList, "answered HTTP 404 (is [albums] path still", "HTTP 404",
       "[albums]\npath=/photo/albums\n"},
      {"the guide moved", false, {.moved = {{"/photo/bw/picture/guide", "/photo/guide"}}},
       Interface::kGuide, "answered HTTP 404 (is [guide] path still", "HTTP 404",
       "[guide]\npath=/photo/guide\n"},
      {"numbers as strings", true, {.retyped = {"pic_amount", "total_page", "total_num"}},
       Interface::kPictureTotal, nullptr, nullptr, ""},
      // Users' published captures of the real list show "wall_type":"h"
      // where the program asks for "v" (and "has_sep":0, a number, and
      // string widths in the guide's img.original, as the stand-in serves).
      {"the list as captured", true, {.wall_type = "h"}, Interface::kPictureList, nullptr, nullptr,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(UseProfile(""));  // the built-in profile
    ServeAlbum(c.listed, {});
    Run(c.listed);
    const auto files = SavedFiles();
    const auto records = Records();
    ASSERT_EQ(files.size(), 7u);
    // Before the change every interface fits (those that stand in for
    // another, or that the pinned order leaves out, are not asked).
    bool fits = false;
    const std::string before = Check(c.listed, c.where, &fits);
    std::istringstream lines_before(before);
    for (std::string line; std::getline(lines_before, line);) {
      EXPECT_TRUE(line.find(": fits") != std::string::npos ||
                  line.find(": not asked (the ") != std::string::npos ||
                  line.find(": not asked (left out of [order])") != std::string::npos)
          << line;
    }

    ServeAlbum(c.listed, c.change);
    frame_.SetText(mw::编辑框_操作记录, "");
    Run(c.listed);
    std::string lines = Check(c.listed, c.where, &fits);
    if (c.named) {
      EXPECT_TRUE(SavedFiles().empty());
      EXPECT_NE(Log().find(c.told), std::string::npos) << Log();
      EXPECT_NE(Messages().back(), "全部下载完毕");
      EXPECT_FALSE(fits) << lines;
      EXPECT_NE(lines.find(c.named), std::string::npos) << lines;
      ASSERT_TRUE(UseProfile(c.profile));
      Run(c.listed);
      lines = Check(c.listed, c.where, &fits);
    }
    EXPECT_TRUE(fits) << lines;
    EXPECT_TRUE(SameFiles(SavedFiles(), files));
    EXPECT_EQ(Records(), records);
    EXPECT_EQ(Messages().back(), "全部下载完毕");
  }
}

// The settings page's button: the check's lines in the log, and a closing
// line that counts what does not fit.
TEST_F(ProfileDownloadTest, TheCheckButtonLogsALineAnInterface) {
  ServiceCheckControl check(frame_, shell_.state());
  WireServiceCheck(shell_.hooks(), check);
  ASSERT_TRUE(UseProfile(""));
  ServeAlbum(true, {.renamed = {{"pic_id", "picture_id"}}});
  frame_.SetText(mw::编辑框_号码, rt::FromUtf8(service_->BoardUrl()));
  // An edited profile is loaded again when the button is pressed.
  std::ofstream(folder_.path() / "profile.ini", std::ios::binary) << "[waits]\nafter_page_ms=0\n";
  frame_.DispatchEvent(mw::按钮_检查服务, frame::EventKey::kClicked);
  EXPECT_TRUE(frame_.Control(mw::按钮_检查服务)->disabled);
  ASSERT_TRUE(ServeUntil([&] { return !check.running(); }));
  frame_.DrainTasks();
  EXPECT_FALSE(frame_.Control(mw::按钮_检查服务)->disabled);
  const std::string log = Log();
  for (const char* line : {"服务检查 贴吧首页：正常（纸飞机吧_百度贴吧）\r\n",
                           "服务检查 图片列表：有应答，但缺少成员 pic_id（[list] id）\r\n",
                           "服务检查 图片文件：未检查（没有可检查的图片）\r\n",
                           "服务检查 版本页面：正常（最新版本1.0）\r\n",
                           "服务检查完毕：1个接口与服务配置不符，可按上面各行修改服务配置文件\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\nin:\n" << log;
  }
}

TEST_F(ProfileDownloadTest, ARefusedProfileIsSaidAndTheBuiltInOneStays) {
  ServeAlbum(true, {});
  EXPECT_FALSE(UseProfile("[list]\nid=pic_id\npage_size=big\n"));
  EXPECT_NE(
      Log().find("profile.ini:5: page_size: a whole number from 1 to 1000），使用内置的服务配置"),
      std::string::npos)
      << Log();
  EXPECT_EQ(shell_.state().profile, shell::BuiltInProfile());
  Run(true);
  EXPECT_EQ(SavedFiles().size(), 7u);
}

}  // namespace
}  // namespace download
