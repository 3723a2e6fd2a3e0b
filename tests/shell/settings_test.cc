// Start-up settings, the option and folder handlers, EnsureFolder.
#include "shell/settings.h"

#include "shell_test_support.h"

namespace shell {
namespace {

using rt::operator""_gbk;
namespace mw = frame::main_window;

TEST_F(ShellTest, NoIniFileShowsTheProgramFolderAndWritesNothing) {
  shell_.Start();
  EXPECT_EQ(frame_.GetText(mw::编辑框_保存位置), folder_text());
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_下载记录));
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_文件名));
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_下载帖子全部图片));
  EXPECT_FALSE(std::filesystem::exists(ini_file()));
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "防止重复下载数据库"));
  EXPECT_EQ(frame_.GetText(mw::标签_banben), "1.0");
  EXPECT_EQ(shell_.state().help_page_visits, 1);
  EXPECT_EQ(shell_.state().version_key, "tieba");
  EXPECT_EQ(shell_.state().ini_path, folder_text() + "/" + "配置.ini"_gbk);
  EXPECT_EQ(shell_.state().service.web_host, "tieba.baidu.com");
  EXPECT_EQ(shell_.state().service.picture_host, "imgsrc.baidu.com");
}

TEST_F(ShellTest, EmptySaveFolderShowsTheProgramFolderWithoutStoringIt) {
  WriteIni("[全局设置]\r\n保存位置=\r\n下载记录=1\r\n");
  shell_.Start();
  EXPECT_EQ(frame_.GetText(mw::编辑框_保存位置), folder_text());
  EXPECT_TRUE(frame_.IsChecked(mw::选择框_下载记录));
  EXPECT_EQ(ReadIni(), "[全局设置]\r\n保存位置=\r\n下载记录=1\r\n");
}

TEST_F(ShellTest, OnlyExactlyOneChecksAnOption) {
  WriteIni("[全局设置]\r\n保存位置=/data/相册\r\n下载记录=\"1 \"\r\n描述做文件名=01\r\n"
           "下载帖子全部图=1\r\n");
  shell_.Start();
  EXPECT_EQ(frame_.GetText(mw::编辑框_保存位置), "/data/相册"_gbk);
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_下载记录));
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_文件名));
  EXPECT_TRUE(frame_.IsChecked(mw::选择框_下载帖子全部图片));
}

TEST_F(ShellTest, OptionClicksStoreOneOrZeroAtOnce) {
  shell_.Start();
  frame_.UserSetChecked(mw::选择框_文件名, true);
  frame_.DispatchEvent(mw::选择框_文件名, frame::EventKey::kClicked);
  EXPECT_EQ(ReadIni(), "[全局设置]\r\n描述做文件名=1\r\n");
  frame_.UserSetChecked(mw::选择框_文件名, false);
  frame_.DispatchEvent(mw::选择框_文件名, frame::EventKey::kClicked);
  frame_.UserSetChecked(mw::选择框_下载记录, true);
  frame_.DispatchEvent(mw::选择框_下载记录, frame::EventKey::kClicked);
  frame_.UserSetChecked(mw::选择框_下载帖子全部图片, true);
  frame_.DispatchEvent(mw::选择框_下载帖子全部图片, frame::EventKey::kClicked);
  EXPECT_EQ(ReadIni(), "[全局设置]\r\n描述做文件名=0\r\n下载记录=1\r\n下载帖子全部图=1\r\n");
}

TEST_F(ShellTest, CancelledFolderDialogChangesNothingAndTheDialogOpensOnTheFolder) {
  // The dialog opens on the save folder when there is one (a relative one
  // inside the program folder); Cancel leaves the box and the file alone.
  std::filesystem::create_directories(folder_ / "相册");
  struct Case {
    std::string folder;  // in the box
    std::string start;   // where the dialog opens; "": the home folder
  } cases[] = {
      {"/elsewhere", ""},
      {(folder_ / "相册").string(), (folder_ / "相册").string()},
      {"相册", (folder_ / "相册").string()},
  };
  shell_.Start();
  WriteIni("[全局设置]\r\n保存位置=/kept\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8(c.folder));
    frame_.DispatchEvent(mw::按钮_选择位置, frame::EventKey::kClicked);
    EXPECT_EQ(rt::ToUtf8(frame_.GetText(mw::编辑框_保存位置)), c.folder);
    EXPECT_EQ(ReadIni(), "[全局设置]\r\n保存位置=/kept\r\n");
    ASSERT_FALSE(backend_.folder_requests().empty());
    EXPECT_EQ(backend_.folder_requests().back().title, "选择相册的存放位置"_gbk);
    EXPECT_EQ(rt::ToUtf8(backend_.folder_requests().back().initial_folder), c.start);
  }
  EXPECT_TRUE(backend_.message_boxes().empty());
}

TEST_F(ShellTest, ChosenFolderIsTrimmedShownAndStored) {
  backend_.SetResponder({.folder = [](const frame::FolderRequest&) -> std::string {
    return "　 /照片/存档 ";  // full-width and ASCII blanks around it
  }});
  shell_.Start();
  frame_.DispatchEvent(mw::按钮_选择位置, frame::EventKey::kClicked);
  EXPECT_EQ(frame_.GetText(mw::编辑框_保存位置), "/照片/存档"_gbk);
  EXPECT_EQ(ReadIni(), "[全局设置]\r\n保存位置=/照片/存档\r\n");
}

TEST_F(ShellTest, FolderNamesGbkCannotHoldAreRefusedAndTheOldFolderStays) {
  std::vector<rt::Text> messages;
  std::string answer = (folder_ / "照片😀").string();
  backend_.SetResponder({
      .message_box = [&](const frame::MessageBoxRequest& r) {
        messages.push_back(r.text);
        return frame::DialogButton::kOk;
      },
      .folder = [&](const frame::FolderRequest&) { return answer; },
  });
  shell_.Start();
  WriteIni("[全局设置]\r\n保存位置=/old\r\n");
  frame_.SetText(mw::编辑框_保存位置, "/old");
  frame_.DispatchEvent(mw::按钮_选择位置, frame::EventKey::kClicked);
  EXPECT_EQ(messages, std::vector<rt::Text>{UnfitFolderMessage()});
  EXPECT_EQ(frame_.GetText(mw::编辑框_保存位置), "/old");
  EXPECT_EQ(ReadIni(), "[全局设置]\r\n保存位置=/old\r\n");

  // A name GBK holds is taken.
  answer = (folder_ / "照片").string();
  frame_.DispatchEvent(mw::按钮_选择位置, frame::EventKey::kClicked);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(frame_.GetText(mw::编辑框_保存位置), rt::FromUtf8(answer));
}

TEST_F(ShellTest, BrowseForFolderHasADefaultTitle) {
  BrowseForFolder(frame_, "", "/start");
  ASSERT_EQ(backend_.folder_requests().size(), 1u);
  EXPECT_EQ(backend_.folder_requests()[0].title, "请选择一个文件夹"_gbk);
  EXPECT_EQ(backend_.folder_requests()[0].initial_folder, "/start");
}

TEST_F(ShellTest, EnsureFolderAppendsTheSeparatorAndCreatesEveryLevel) {
  rt::Text path = (folder_ / "一" / "二").string();
  rt::Text gbk = rt::FromUtf8(path);
  EXPECT_TRUE(EnsureFolder(gbk));
  EXPECT_EQ(gbk, rt::FromUtf8(path + "/"));
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "一" / "二"));
  rt::Text with_slash = gbk;
  EXPECT_TRUE(EnsureFolder(with_slash));
  EXPECT_EQ(with_slash, gbk);
  // A file in the way: the folder cannot be made.
  std::ofstream(folder_ / "file") << "x";
  rt::Text blocked = (folder_ / "file" / "sub").string();
  EXPECT_FALSE(EnsureFolder(blocked));
}

TEST_F(ShellTest, ServiceAddressesComeFromTheirSection) {
  WriteIni("[service]\r\nweb_host=127.0.0.1:8080\r\npicture_host=\r\n"
           "version_page=http://127.0.0.1:8081/download/softzuixinv/index.html\r\n");
  shell_.Start();
  const ServiceAddresses& s = shell_.state().service;
  EXPECT_EQ(s.web_host, "127.0.0.1:8080");
  EXPECT_EQ(s.picture_host, "imgsrc.baidu.com");  // empty: the default
  EXPECT_EQ(FeedbackPage(s.version_page), "http://127.0.0.1:8081/download/softzuixinv/bug.html");
  EXPECT_EQ(HomePage(s.version_page), "http://127.0.0.1:8081/");
  EXPECT_EQ(PromotionPage(s.version_page), "http://127.0.0.1:8081/?soft");
  EXPECT_EQ(HomePage("http://host"), "http://host/");
  EXPECT_EQ(FeedbackPage("http://host"), "http://host/bug.html");
}

}  // namespace
}  // namespace shell
