// When the service renames a member the downloads read, a run says it could
// not read the pages, and a profile edited by hand (no rebuild) makes the
// download work again with the same files as before the change.
#include "download_test_support.h"
#include "shell/settings.h"

namespace download {
namespace {

class ProfileDownloadTest : public DownloadTest {
 protected:
  // Serves one album of `count` pictures, listed on the board or read
  // through the guide, its answers renaming `renamed`.
  void ServeAlbum(bool listed, std::vector<std::pair<std::string, std::string>> renamed) {
    standin::DataSet data;
    data.board = "纸飞机";
    data.style.renamed_members = std::move(renamed);
    standin::Thread t{.tid = "5500000001", .title = "山", .album = listed, .has_sep = "null"};
    t.pictures = discovery::Pictures(t.tid, 7);
    data.threads.push_back(std::move(t));
    Serve(std::move(data));
  }
  void Run(bool listed) {
    const standin::Thread& t = service_->data().threads[0];
    Find(listed ? service_->BoardUrl() : service_->ThreadUrl(t.tid));
    ASSERT_EQ(Rows().size(), 1u);
    frame_.ListSetTick(mw::超级列表框1, 0, frame::kTicked);
    frame_.SetChecked(mw::选择框_下载帖子全部图片, true);
    Download();
  }
  // Loads the profile `text` as the settings file's [service] profile would.
  bool UseProfile(const std::string& text) {
    const fs::path path = folder_.path() / "profile.ini";
    std::ofstream(path, std::ios::binary) << text;
    shell_.state().service.profile_file = rt::FromUtf8(path.string());
    return shell::LoadServiceProfile(frame_, shell_.state());
  }
};

TEST_F(ProfileDownloadTest, ARenamedMemberIsToldAndAnEditedProfileMendsIt) {
  const struct {
    const char* what;
    bool listed;
    std::vector<std::pair<std::string, std::string>> renamed;
    const char* profile;
    const char* folder;
  } cases[] = {
      {"the list's picture id",
       true,
       {{"pic_id", "picture_id"}},
       "[list]\nid=picture_id\n",
       "纸飞机吧_百度贴吧/山_5500000001"},
      {"the list's entries",
       true,
       {{"pic_list", "pictures"}},
       "[list]\npictures=data.pictures\n",
       "纸飞机吧_百度贴吧/山_5500000001"},
      {"the guide's picture",
       false,
       {{"screen", "big"}},
       "[guide]\nid=img.big.id|img.screen.id\naddress=img.big.waterurl\n",
       "山相册_5500000001"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(save_);
    ASSERT_TRUE(UseProfile(""));  // the built-in profile
    ServeAlbum(c.listed, {});
    Run(c.listed);
    const auto before = SavedFiles();
    ASSERT_EQ(before.size(), 7u);

    fs::remove_all(save_);
    ServeAlbum(c.listed, c.renamed);
    Run(c.listed);
    EXPECT_TRUE(SavedFiles().empty());
    EXPECT_EQ(control_.tally().saved.load(), 0);
    EXPECT_GE(control_.tally().unread_pages.load(), 1);
    EXPECT_NE(Log().find("图片列表第1页未能读取"), std::string::npos);
    EXPECT_NE(Messages().back().find("页图片列表未能读取"), std::string::npos) << Messages().back();

    ASSERT_TRUE(UseProfile(c.profile));
    EXPECT_NE(Log().find("已载入服务配置文件"), std::string::npos);
    Run(c.listed);
    EXPECT_TRUE(SameFiles(SavedFiles(), before));
    EXPECT_EQ(Messages().back(), "全部下载完毕");
  }
}

TEST_F(ProfileDownloadTest, ARefusedProfileIsSaidAndTheBuiltInOneStays) {
  ServeAlbum(true, {});
  EXPECT_FALSE(UseProfile("[list]\nid=pic_id\npage_size=big\n"));
  EXPECT_NE(
      Log().find("profile.ini:3: page_size: a whole number from 1 to 1000），使用内置的服务配置"),
      std::string::npos)
      << Log();
  EXPECT_EQ(shell_.state().profile, shell::BuiltInProfile());
  Run(true);
  EXPECT_EQ(SavedFiles().size(), 7u);
}

}  // namespace
}  // namespace download
