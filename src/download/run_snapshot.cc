// The run's snapshot of the album list, the save folder and the options.
#include "download/run_snapshot.h"

#include "frame/window_templates.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"
#include "runtime/text_commands.h"
#include "shell/settings.h"

namespace download {
namespace {

namespace mw = frame::main_window;
using rt::operator""_gbk;

constexpr std::string_view kSeparator = "--@@--";

}  // namespace

rt::Text PackSelectionItem(const SelectionItem& item) {
  return item.count + rt::Text(kSeparator) + item.id + rt::Text(kSeparator) + item.name;
}

SelectionItem SplitSelectionItem(std::string_view packed) {
  std::vector<rt::Text> fields = rt::SplitText(packed, kSeparator, 3);
  fields.resize(3);
  return {fields[0], fields[1], fields[2]};
}

rt::Text SaveRootOf(std::string_view shown) {
  if (shown.empty()) return rt::RunDirectory();
  if (shown.front() == '/') return rt::Text(shown);
  return rt::RunDirectory() + "/" + rt::Text(shown);
}

RunSnapshot TakeSnapshot(frame::Frame& frame, const shell::ProgramState& state,
                         const discovery::AlbumSource& source) {
  RunSnapshot snapshot;
  const frame::ControlRef list = mw::超级列表框1;
  const int rows = frame.ListRowCount(list);
  for (int r = 0; r < rows; ++r) {
    if (frame.ListGetTick(list, r) != frame::kTicked) continue;
    snapshot.numbers += frame.ListGetCell(list, r, mw::kColumnNumber) + "、"_gbk;
    const SelectionItem item{frame.ListGetCell(list, r, mw::kColumnCount),
                             frame.ListGetCell(list, r, mw::kColumnId),
                             rt::TrimText(frame.ListGetCell(list, r, mw::kColumnName))};
    // A row without a count or an id is named in the log line, not downloaded.
    if (!item.count.empty() && !item.id.empty()) {
      snapshot.selection.push_back(SplitSelectionItem(PackSelectionItem(item)));
    }
  }
  snapshot.save_root = SaveRootOf(frame.GetText(mw::编辑框_保存位置));
  snapshot.options = {frame.IsChecked(mw::选择框_下载记录), frame.IsChecked(mw::选择框_文件名),
                      frame.IsChecked(mw::选择框_下载帖子全部图片)};
  snapshot.parallel = state.parallel_fetches;
  snapshot.profile = state.profile;
  snapshot.manifest = state.manifest;
  snapshot.web_host = state.service.web_host;
  snapshot.client_address = shell::ClientAddressOf(state.service);
  snapshot.picture_host = state.service.picture_host;
  snapshot.source = source;
  return snapshot;
}

}  // namespace download
