// The album list's handlers: ticks, the find window's three searches with
// their wrap-around, and the open-folder button.
#include "discovery/list_handling.h"

#include "retrieval_test_support.h"

namespace discovery {
namespace {

namespace fw = frame::find_window;
using rt::operator""_gbk;

class ListHandlingTest : public RetrievalTest {
 protected:
  void AddRows(std::initializer_list<std::pair<const char*, int>> rows) {
    for (const auto& [name, tick] : rows) {
      const int row = frame_.ListAppendRow(mw::超级列表框1);
      frame_.ListSetCell(mw::超级列表框1, row, mw::kColumnName, rt::FromUtf8(name));
      frame_.ListSetTick(mw::超级列表框1, row, tick);
    }
  }
  std::vector<int> Ticks() {
    std::vector<int> ticks;
    for (int r = 0; r < frame_.ListRowCount(mw::超级列表框1); ++r) {
      ticks.push_back(frame_.ListGetTick(mw::超级列表框1, r));
    }
    return ticks;
  }
  void Click(frame::ControlRef box, bool checked) {
    frame_.UserSetChecked(box, checked);
    frame_.DispatchEvent(box, frame::EventKey::kClicked);
  }
};

TEST_F(ListHandlingTest, FindWindowSearchesWrapRoundAfterNothingMore) {
  AddRows({{"Abc", frame::kTicked}, {"xyz", frame::kTicked}, {"aBc", frame::kTicked}});
  frame_.DispatchEvent(mw::标签_查找, frame::EventKey::kLeftButtonDown);
  ASSERT_TRUE(frame_.IsLoaded(fw::kId));
  frame_.SetText(fw::编辑框1, "abc");

  enum Button { kTop, kNext, kPrevious };
  struct Step {
    Button button;
    int row;              // the selected row afterwards; -1: "没有了"
  } steps[] = {
      {kNext, 0},  // the first find-next of a run starts at row 0
      {kTop, 0},      {kNext, 2},     {kNext, -1}, {kNext, 0}, {kNext, 2},
      {kNext, -1},    {kPrevious, 2},  // after "没有了" the search starts at the last row
      {kPrevious, 0}, {kPrevious, -1}, {kPrevious, 2},
  };
  const frame::ControlRef buttons[] = {fw::按钮_查找, fw::按钮_查找下一个, fw::按钮_查找上一个};
  int selected = -1;
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const size_t boxes = backend_.message_boxes().size();
    frame_.DispatchEvent(buttons[steps[i].button], frame::EventKey::kClicked);
    if (steps[i].row >= 0) {
      selected = steps[i].row;
      EXPECT_EQ(backend_.message_boxes().size(), boxes);
      EXPECT_EQ(Caption(fw::标签_行位置), "第" + std::to_string(selected + 1) + "行");
    } else {
      ASSERT_EQ(backend_.message_boxes().size(), boxes + 1);
      EXPECT_EQ(Messages().back(), "没有了");
    }
    // A search that finds nothing leaves the selection where it was.
    EXPECT_EQ(frame_.Control(mw::超级列表框1)->selected_row, selected);
  }

  frame_.SetText(fw::编辑框1, "zzz");
  frame_.DispatchEvent(fw::按钮_查找, frame::EventKey::kClicked);
  EXPECT_EQ(Messages().back(), "未找到名称包含关键词：zzz的相册");
}

TEST_F(ListHandlingTest, SearchesMatchWholeCharactersAndTheEmptyKeyword) {
  // "数" is CA FD and "诈" D5 A9: the character FD D5 would be found
  // across the two characters if a search split them.
  AddRows({{"", frame::kTicked}, {"数诈", frame::kTicked}, {"相册", frame::kTicked}});
  EXPECT_EQ(FindAlbumForward(frame_, "", mw::kColumnName, 0), 1);
  EXPECT_EQ(FindAlbumForward(frame_, "\xFD\xD5", mw::kColumnName, 0), -1);
  EXPECT_EQ(FindAlbumForward(frame_, "册"_gbk, mw::kColumnName, 0), 2);
  EXPECT_EQ(FindAlbumBackward(frame_, "数"_gbk, mw::kColumnName, 2), 1);
  EXPECT_EQ(FindAlbumForward(frame_, "册"_gbk, mw::kColumnName, 3), -1);
  EXPECT_EQ(FindAlbumBackward(frame_, "册"_gbk, mw::kColumnName, -1), -1);
}

TEST_F(ListHandlingTest, SelectAllAndInvertWorkOnTicksOnly) {
  AddRows({{"a", frame::kTicked}, {"b", frame::kUnticked}, {"c", frame::kTicked}, {"d", frame::kTickNone}});
  Click(mw::选择框_反选, true);
  EXPECT_EQ(Ticks(), (std::vector<int>{frame::kUnticked, frame::kTicked, frame::kUnticked, frame::kTickNone}));
  Click(mw::选择框_反选, false);  // clearing the box changes nothing
  EXPECT_EQ(Ticks(), (std::vector<int>{frame::kUnticked, frame::kTicked, frame::kUnticked, frame::kTickNone}));

  Click(mw::选择框_反选, true);
  Click(mw::选择框_全选, true);
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_反选));
  EXPECT_EQ(Ticks()[0], frame::kTicked);
  EXPECT_EQ(Ticks()[1], frame::kTicked);
  EXPECT_EQ(Ticks()[2], frame::kTicked);
  Click(mw::选择框_全选, false);  // the rows keep their ticks
  EXPECT_EQ(Ticks()[1], frame::kTicked);
  Click(mw::选择框_反选, true);
  EXPECT_FALSE(frame_.IsChecked(mw::选择框_全选));
  EXPECT_EQ(Ticks()[1], frame::kUnticked);
}

TEST_F(ListHandlingTest, OpenFolderOpensTheSaveFolderOrTheProgramFolder) {
  std::filesystem::create_directories(folder_.path() / "相册");
  frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8((folder_.path() / "相册").string()));
  frame_.DispatchEvent(mw::按钮_打开目录, frame::EventKey::kClicked);
  frame_.SetText(mw::编辑框_保存位置, "");
  frame_.DispatchEvent(mw::按钮_打开目录, frame::EventKey::kClicked);
  frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8((folder_.path() / "没有").string()));
  frame_.DispatchEvent(mw::按钮_打开目录, frame::EventKey::kClicked);  // opens nothing
  ASSERT_EQ(backend_.opened().size(), 2u);
  EXPECT_EQ(backend_.opened()[0], "file://" + folder_.path().string() + "/%E7%9B%B8%E5%86%8C");
  EXPECT_EQ(backend_.opened()[1], "file://" + folder_.path().string());
}

}  // namespace
}  // namespace discovery
