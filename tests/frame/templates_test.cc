// The two window templates: sizes, captions, containers and the controls'
// special set-up.
#include "frame/window_templates.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "runtime/gbk.h"

namespace frame {

using rt::Text;
using rt::ToUtf8;
using rt::operator""_gbk;

namespace {

TEST(WindowTemplates, EveryControlHasAUniqueIdAndAnExistingContainer) {
  for (const WindowTemplate* w : {&MainWindowTemplate(), &FindWindowTemplate()}) {
    std::set<uint32_t> ids;
    std::set<std::string> names;
    for (const ControlTemplate& c : w->controls) {
      EXPECT_TRUE(ids.insert(c.id).second) << c.name;
      EXPECT_TRUE(names.insert(c.name).second) << c.name;
      if (!c.container.empty()) {
        const ControlTemplate* parent = w->Find(c.container);
        ASSERT_NE(parent, nullptr) << c.name;
        // Containers come first, so a back end can build in table order.
        EXPECT_LT(parent - w->controls.data(), &c - w->controls.data()) << c.name;
        EXPECT_TRUE(parent->kind == ControlKind::kGroupBox ||
                    parent->kind == ControlKind::kTabControl)
            << c.name;
        if (parent->kind == ControlKind::kTabControl) {
          EXPECT_LT(c.page, static_cast<int>(parent->items.size())) << c.name;
        }
      }
    }
  }
  // The typed constants name the same controls as the table.
  EXPECT_EQ(MainWindowTemplate().Find(main_window::编辑框_号码.control)->name, "编辑框_号码");
  EXPECT_EQ(FindWindowTemplate().Find(find_window::按钮_查找下一个.control)->name, "按钮_查找下一个");
}

// Every control of the two windows, written out by hand: kind, container (a
// tab control with its page), caption, position inside the container, and
// whether it shows at start.
struct Expected {
  const char* name;
  ControlKind kind;
  const char* container;
  int page;
  const char* caption;  // UTF-8
  Rect rect;
  bool visible;
};

void ExpectControls(const WindowTemplate& w, const std::vector<Expected>& expected) {
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    const ControlTemplate* c = w.Find(e.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, e.kind);
    EXPECT_EQ(c->container, e.container);
    EXPECT_EQ(c->page, e.page);
    EXPECT_EQ(ToUtf8(c->caption), e.caption);
    EXPECT_EQ(c->rect, e.rect);
    EXPECT_EQ(c->visible, e.visible);
  }
}

using K = ControlKind;

TEST(WindowTemplates, TheMainWindowsControlsAreWhereItsDescriptionPutsThem) {
  const WindowTemplate& w = MainWindowTemplate();
  EXPECT_EQ(w.id, 0x52010001u);
  EXPECT_EQ(w.rect, (Rect{50, 50, 936, 656}));
  // One control a line:
  // clang-format off
  ExpectControls(w, {
      {"选择夹1", K::kTabControl, "", 0, "", {-2, 55, 923, 569}, true},
      {"分组框2", K::kGroupBox, "选择夹1", 0, "", {12, 27, 902, 55}, true},
      {"标签2", K::kLabel, "分组框2", 0, "帖子或贴吧首页网址：", {6, 14, 120, 32}, true},
      {"编辑框_号码", K::kEditBox, "分组框2", 0, "", {126, 16, 408, 30}, true},
      {"按钮_获取相册封面", K::kButton, "分组框2", 0, "1：获取", {556, 15, 62, 32}, true},
      {"按钮_下载选中", K::kButton, "分组框2", 0, "2:下载选中", {631, 14, 79, 32}, true},
      {"按钮_暂停线程", K::kButton, "分组框2", 0, "暂停下载", {685, 14, 64, 32}, false},
      {"按钮_继续下载", K::kButton, "分组框2", 0, "继续下载", {733, 13, 64, 32}, false},
      {"按钮_结束下载", K::kButton, "分组框2", 0, "结束下载", {810, 13, 64, 32}, false},
      {"分组框5", K::kGroupBox, "选择夹1", 0, "", {13, 82, 902, 50}, true},
      {"标签_保存路径", K::kLabel, "分组框5", 0, "相册保存位置：", {8, 12, 112, 32}, true},
      {"编辑框_保存位置", K::kEditBox, "分组框5", 0, "", {125, 12, 408, 27}, true},
      {"按钮_选择位置", K::kButton, "分组框5", 0, "选择存放位置", {556, 10, 91, 29}, true},
      {"按钮_打开目录", K::kButton, "分组框5", 0, "打开目录", {664, 10, 79, 29}, true},
      {"分组框3", K::kGroupBox, "选择夹1", 0, "", {13, 134, 902, 426}, true},
      {"选择框_全选", K::kCheckBox, "分组框3", 0, "全选", {16, 22, 46, 16}, true},
      {"选择框_反选", K::kCheckBox, "分组框3", 0, "反选", {76, 22, 46, 16}, true},
      {"标签_查找", K::kLabel, "分组框3", 0, "查找相册", {168, 19, 48, 16}, true},
      {"标签_动态", K::kLabel, "分组框3", 0, "", {253, 15, 292, 20}, true},
      {"超级列表框1", K::kListView, "分组框3", 0, "", {6, 41, 623, 339}, true},
      {"画板1", K::kDrawingPanel, "分组框3", 0, "", {455, 107, 112, 88}, true},
      {"分组框1", K::kGroupBox, "分组框3", 0, "", {637, 36, 253, 346}, true},
      {"标签3", K::kLabel, "分组框1", 0, "执行操作日志：", {8, 12, 88, 19}, true},
      {"编辑框_操作记录", K::kEditBox, "分组框1", 0, "", {8, 36, 232, 304}, true},
      {"标签_进度", K::kLabel, "分组框3", 0, "下载进度：", {7, 384, 56, 35}, true},
      {"进度条1", K::kProgressBar, "分组框3", 0, "", {74, 389, 280, 24}, true},
      {"标签_进度条比例", K::kLabel, "分组框3", 0, "", {359, 390, 41, 23}, true},
      {"标签_选择了相册数量", K::kLabel, "分组框3", 0, "", {404, 390, 144, 23}, true},
      {"标签_正在下载相册", K::kLabel, "分组框3", 0, "", {554, 390, 110, 23}, true},
      {"标签_第多少张照片", K::kLabel, "分组框3", 0, "", {666, 390, 95, 23}, true},
      {"分组框8", K::kGroupBox, "选择夹1", 1, "", {9, 29, 876, 519}, true},
      {"分组框9", K::kGroupBox, "分组框8", 0, "常用设置：", {9, 18, 384, 241}, true},
      {"选择框_下载记录", K::kCheckBox, "分组框9", 0, "开启防止重复下载（下载过，不再下载，影响速度）", {14, 32, 313, 20}, true},
      {"选择框_文件名", K::kCheckBox, "分组框9", 0, "使用描述作为文件名，不选就由程序自动命名", {14, 66, 313, 20}, true},
      {"选择框_下载帖子全部图片", K::kCheckBox, "分组框9", 0, "下载帖子全部图片,不选则只下载楼主的", {14, 97, 258, 24}, true},
      {"分组框10", K::kGroupBox, "分组框8", 0, "客服：", {401, 18, 459, 241}, true},
      {"分组框11", K::kGroupBox, "分组框8", 0, "软件版本", {7, 265, 853, 241}, true},
      {"标签21", K::kLabel, "分组框11", 0, "当前版本：", {8, 78, 72, 40}, true},
      {"标签_banben", K::kLabel, "分组框11", 0, "", {79, 78, 95, 40}, true},
      {"标签_xinbanben1", K::kLabel, "分组框11", 0, "最新版本：", {9, 126, 72, 40}, true},
      {"标签_zxbanben", K::kLabel, "分组框11", 0, "", {80, 126, 95, 40}, true},
      {"标签_banbenjieguo", K::kLabel, "分组框11", 0, "", {9, 37, 160, 24}, true},
      {"按钮_检测更新", K::kButton, "分组框11", 0, "检测程序是否有更新", {10, 173, 165, 40}, true},
  });
  // clang-format on
  EXPECT_EQ(w.Find("工具条1")->kind, K::kToolbar);
  EXPECT_EQ(w.Find("工具条1")->rect.height, 57);
  EXPECT_EQ(w.Find("工具条1")->items,
            (std::vector<Text>{"获取与下载"_gbk, "设置与客服"_gbk, "问题反馈"_gbk}));
  EXPECT_EQ(w.Find("选择夹1")->items,
            (std::vector<Text>{"  获取相册    "_gbk, "  帮助 客服  "_gbk}));
  EXPECT_TRUE(w.Find("编辑框_操作记录")->multi_line);
  EXPECT_FALSE(w.Find("编辑框_号码")->multi_line);
  // The two vertical rules: "|" lines separated by CR LF, as high as they are.
  for (const auto& [name, rect] :
       {std::pair{"标签19", Rect{381, 11, 10, 224}}, std::pair{"标签20", Rect{650, 11, 6, 224}}}) {
    const ControlTemplate* rule = w.Find(name);
    EXPECT_EQ(rule->container, "分组框11");
    EXPECT_EQ(rule->rect, rect);
    ASSERT_FALSE(rule->caption.empty()) << name;
    for (size_t i = 0; i < rule->caption.size(); i += 3) {
      EXPECT_EQ(rule->caption[i], '|') << name << " at " << i;
      if (i + 1 < rule->caption.size()) EXPECT_EQ(rule->caption.substr(i + 1, 2), "\r\n");
    }
  }
  EXPECT_TRUE(w.Find("标签5")->link);
  EXPECT_TRUE(w.Find("标签13")->link);
  // The album list's columns: titles and first widths.
  const auto& columns = w.Find("超级列表框1")->columns;
  ASSERT_EQ(columns.size(), 8u);
  const std::pair<const char*, int> expected[] = {
      {"选择", 60}, {"序号", 40},     {"相册名称", 120}, {"封面", 100},
      {"图片数量", 70}, {"相册ID", 80}, {"相册问题", 80}, {"相册密码", 80}};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(ToUtf8(columns[i].title), expected[i].first);
    EXPECT_EQ(columns[i].width, expected[i].second);
  }
}

TEST(WindowTemplates, TheFindWindowsControlsAreWhereItsDescriptionPutsThem) {
  const WindowTemplate& w = FindWindowTemplate();
  EXPECT_EQ(w.id, 0x5201632Au);
  EXPECT_EQ(w.rect.width, 348);
  EXPECT_EQ(w.rect.height, 152);
  EXPECT_EQ(ToUtf8(w.caption), "查找功能：");
  EXPECT_EQ(w.controls.size(), 7u);
  // One control a line:
  // clang-format off
  ExpectControls(w, {
      {"标签_要查找的相册名称", K::kLabel, "", 0, "要查找的相册名称：", {8, 19, 104, 32}, true},
      {"编辑框1", K::kEditBox, "", 0, "", {112, 19, 144, 32}, true},
      {"按钮_查找", K::kButton, "", 0, "查找", {261, 19, 75, 32}, true},
      {"标签_结果", K::kLabel, "", 0, "查找结果：", {8, 88, 56, 24}, true},
      {"标签_行位置", K::kLabel, "", 0, "", {72, 88, 80, 24}, true},
      {"按钮_查找上一个", K::kButton, "", 0, "上一个", {190, 80, 57, 32}, true},
      {"按钮_查找下一个", K::kButton, "", 0, "下一个", {281, 80, 57, 32}, true},
  });
  // clang-format on
}

}  // namespace
}  // namespace frame
