// Ticking, finding albums by name, and opening the save folder.
#include "discovery/list_handling.h"

#include <algorithm>
#include <string>

#include "frame/window_templates.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"

namespace discovery {
namespace {

namespace mw = frame::main_window;
namespace fw = frame::find_window;
using rt::operator""_gbk;

bool CellContains(frame::Frame& frame, std::string_view keyword, int column, int row) {
  const rt::Text cell = frame.ListGetCell(mw::超级列表框1, row, column);
  return rt::FindText(cell, keyword, {}, /*ignore_case=*/true) > 0;
}

}  // namespace

int FindAlbumForward(frame::Frame& frame, std::string_view keyword, int column, int start) {
  const int rows = frame.ListRowCount(mw::超级列表框1);
  for (int row = std::max(start, 0); row < rows; ++row) {
    if (CellContains(frame, keyword, column, row)) return row;
  }
  return -1;
}

int FindAlbumBackward(frame::Frame& frame, std::string_view keyword, int column, int start) {
  const int rows = frame.ListRowCount(mw::超级列表框1);
  for (int row = std::min(start, rows - 1); row >= 0; --row) {
    if (CellContains(frame, keyword, column, row)) return row;
  }
  return -1;
}

void ListHandling::SelectAllClicked() {
  if (!frame_.IsChecked(mw::选择框_全选)) return;  // clearing the box keeps the ticks
  frame_.SetChecked(mw::选择框_反选, false);
  const int rows = frame_.ListRowCount(mw::超级列表框1);
  for (int row = 0; row < rows; ++row) frame_.ListSetTick(mw::超级列表框1, row, frame::kTicked);
}

void ListHandling::InvertClicked() {
  if (!frame_.IsChecked(mw::选择框_反选)) return;
  frame_.SetChecked(mw::选择框_全选, false);
  const int rows = frame_.ListRowCount(mw::超级列表框1);
  for (int row = 0; row < rows; ++row) {
    const int tick = frame_.ListGetTick(mw::超级列表框1, row);
    if (tick == frame::kTicked) frame_.ListSetTick(mw::超级列表框1, row, frame::kUnticked);
    if (tick == frame::kUnticked) frame_.ListSetTick(mw::超级列表框1, row, frame::kTicked);
  }
}

void ListHandling::ShowFoundRow(int row) {
  frame_.ListScrollIntoView(mw::超级列表框1, row);
  frame_.SetSelectedRow(mw::超级列表框1, row);
  frame_.SetCaption(fw::标签_行位置, "第"_gbk + std::to_string(row + 1) + "行"_gbk);
}

void ListHandling::FindFromTop() {
  keyword_ = frame_.GetText(fw::编辑框1);
  current_row_ = FindAlbumForward(frame_, keyword_, mw::kColumnName, 0);
  if (current_row_ == -1) {
    frame_.ShowMessageBox("未找到名称包含关键词："_gbk + keyword_ + "的相册"_gbk);
  } else {
    ShowFoundRow(current_row_);
  }
}

void ListHandling::FindNext() {
  keyword_ = frame_.GetText(fw::编辑框1);
  current_row_ = FindAlbumForward(frame_, keyword_, mw::kColumnName, current_row_ + 1);
  if (current_row_ == -1) {
    frame_.ShowMessageBox("没有了"_gbk);
  } else {
    ShowFoundRow(current_row_);
  }
}

void ListHandling::FindPrevious() {
  if (current_row_ == -1) current_row_ = frame_.ListRowCount(mw::超级列表框1);
  const rt::Text keyword = frame_.GetText(fw::编辑框1);  // the stored keyword stays
  current_row_ = FindAlbumBackward(frame_, keyword, mw::kColumnName, current_row_ - 1);
  if (current_row_ == -1) {
    frame_.ShowMessageBox("没有了"_gbk);
  } else {
    ShowFoundRow(current_row_);
  }
}

void ListHandling::OpenSaveFolder() {
  rt::Text folder = frame_.GetText(mw::编辑框_保存位置);
  if (folder.empty()) folder = rt::RunDirectory();
  frame_.OpenExternal(folder);
}

}  // namespace discovery
