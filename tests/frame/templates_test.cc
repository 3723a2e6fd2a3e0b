// The two window templates: sizes, captions, containers and the controls'
// special set-up.
#include "frame/window_templates.h"

#include <gtest/gtest.h>

#include <set>

#include "runtime/gbk.h"

namespace frame {

using rt::FromUtf8;
using rt::Text;
using rt::operator""_gbk;

namespace {

TEST(WindowTemplates, WindowsHaveTheirSizesAndCaptions) {
  const WindowTemplate& main = MainWindowTemplate();
  EXPECT_EQ(main.id, 0x52010001u);
  EXPECT_EQ(main.rect, (Rect{50, 50, 936, 656}));
  const WindowTemplate& find = FindWindowTemplate();
  EXPECT_EQ(find.id, 0x5201632Au);
  EXPECT_EQ(find.rect.width, 348);
  EXPECT_EQ(find.rect.height, 152);
  EXPECT_EQ(find.caption, "查找功能："_gbk);
}

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

TEST(WindowTemplates, MainWindowSpecials) {
  const WindowTemplate& w = MainWindowTemplate();
  EXPECT_EQ(w.Find("工具条1")->items,
            (std::vector<Text>{"获取与下载"_gbk, "设置与客服"_gbk, "问题反馈"_gbk}));
  EXPECT_EQ(w.Find("选择夹1")->items,
            (std::vector<Text>{"  获取相册    "_gbk, "  帮助 客服  "_gbk}));
  EXPECT_EQ(w.Find("选择夹1")->rect, (Rect{-2, 55, 923, 569}));
  EXPECT_EQ(w.Find("分组框8")->page, 1);
  EXPECT_TRUE(w.Find("编辑框_操作记录")->multi_line);
  for (const char* name : {"按钮_暂停线程", "按钮_继续下载", "按钮_结束下载"}) {
    EXPECT_FALSE(w.Find(name)->visible) << name;
  }
  EXPECT_TRUE(w.Find("按钮_下载选中")->visible);
  const auto& columns = w.Find("超级列表框1")->columns;
  ASSERT_EQ(columns.size(), 8u);
  const std::pair<const char*, int> expected[] = {
      {"选择", 60}, {"序号", 40},     {"相册名称", 120}, {"封面", 100},
      {"图片数量", 70}, {"相册ID", 80}, {"相册问题", 80}, {"相册密码", 80}};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(columns[i].title, FromUtf8(expected[i].first));
    EXPECT_EQ(columns[i].width, expected[i].second);
  }
}

}  // namespace
}  // namespace frame
