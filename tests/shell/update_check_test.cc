// The update check against the stand-in's version page.
#include "shell/update_check.h"

#include <chrono>
#include <functional>

#include "shell_test_support.h"
#include "stand-in/generator.h"
#include "stand-in/server.h"

namespace shell {
namespace {

using rt::operator""_gbk;
namespace mw = frame::main_window;

TEST_F(ShellTest, UpdateCheckComparesWholeVersionNumbersAndSaysWhenItFailed) {
  struct Case {
    std::string announced;  // "": an empty page; "-": no marks
    std::string newest;
    std::string result;     // the result label afterwards; it starts as `before`
    bool message;
    std::string before = "-";
  } cases[] = {
      {"1.0", "1.0", "无需更新", false},
      {"3", "3", "有新版，联系客服获取最新版！", true},
      {"1.5", "1.5", "-", false},  // only the whole-number parts count
      {"", "", "检查失败，请稍后再试", false},
      {"-", "", "检查失败，请稍后再试", false},
      {"1.5", "1.5", "", false, "检查失败，请稍后再试"},  // a failure before is over
  };
  shell_.Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.announced);
    standin::DataSet data;
    data.style.newest_version = c.announced;
    standin::StandIn service(std::move(data));
    ASSERT_TRUE(service.Start());
    if (c.announced.empty()) service.AddFault("version:empty");
    if (c.announced == "-") service.AddFault("version:status=404");
    shell_.state().service.version_page = service.VersionUrl();
    frame_.SetCaption(mw::标签_banbenjieguo, rt::FromUtf8(c.before));
    const size_t boxes = backend_.message_boxes().size();
    UpdateCheck(frame_, shell_.state());
    EXPECT_FALSE(frame_.Control(mw::按钮_检测更新)->disabled);
    EXPECT_EQ(rt::ToUtf8(frame_.GetText(mw::标签_zxbanben)), c.newest);
    EXPECT_EQ(rt::ToUtf8(frame_.GetText(mw::标签_banbenjieguo)), c.result);
    EXPECT_EQ(backend_.message_boxes().size(), boxes + (c.message ? 1 : 0));
    EXPECT_EQ(service.Count(standin::Interface::kVersion), 1u);
  }
}

TEST_F(ShellTest, WhileTheCheckRunsItsButtonIsDisabledAndTheLabelSaysSo) {
  standin::DataSet data;
  data.style.newest_version = "1.0";
  standin::StandIn service(std::move(data));
  ASSERT_TRUE(service.Start());
  service.AddFault("version:latency=300");
  shell_.Start();
  shell_.state().service.version_page = service.VersionUrl();
  frame_.DispatchEvent(mw::按钮_检测更新, frame::EventKey::kClicked);
  auto label = [&] { return rt::ToUtf8(frame_.GetText(mw::标签_banbenjieguo)); };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto serve_until = [&](const std::function<bool()>& done) {
    frame_.ServeUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; });
  };
  serve_until([&] { return label() == "正在检查…"; });
  EXPECT_EQ(label(), "正在检查…");
  EXPECT_TRUE(frame_.Control(mw::按钮_检测更新)->disabled);
  // The toolbar's first visit of the help page finds the check running.
  shell_.ToolbarClicked(mw::kToolbarSettings);
  serve_until([&] { return label() != "正在检查…"; });
  EXPECT_EQ(label(), "无需更新");
  serve_until([&] { return !frame_.Control(mw::按钮_检测更新)->disabled; });
  EXPECT_FALSE(frame_.Control(mw::按钮_检测更新)->disabled);
  EXPECT_EQ(service.Count(standin::Interface::kVersion), 1u);
}

TEST(NewestVersion, IsTheTextBetweenTheKeysMarks) {
  EXPECT_EQ(NewestVersion("x#tieba@@2.1#tieba y", "tieba"), "2.1");
  EXPECT_EQ(NewestVersion("#kongjian@@9#kongjian #tieba@@2#tieba", "tieba"), "2");
  EXPECT_EQ(NewestVersion("#tieba@@2.1", "tieba"), "");
  EXPECT_EQ(NewestVersion("", "tieba"), "");
}

}  // namespace
}  // namespace shell
