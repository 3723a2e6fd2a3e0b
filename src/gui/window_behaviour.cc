// The main window's growth and the keyboard's buttons, as tables.
#include "gui/window_behaviour.h"

#include "frame/window_templates.h"

namespace gui {
namespace {

namespace mw = frame::main_window;
namespace fw = frame::find_window;

struct GrowthRule {
  frame::ControlRef control;
  Growth growth;
};

// The frames around the page stretch with the window; inside them the
// album list and the log share the extra width and both take the extra
// height, the progress row stays under the list, and every other control
// keeps its place in its group. The settings page keeps its layout.
constexpr GrowthRule kMainWindowGrowth[] = {
    {mw::工具条1, {.w = 1}},
    {mw::标签6, {.w = 1}},
    {mw::选择夹1, {.w = 1, .h = 1}},
    {mw::分组框2, {.w = 1}},
    {mw::分组框5, {.w = 1}},
    {mw::分组框3, {.w = 1, .h = 1}},
    {mw::超级列表框1, {.w = 0.5, .h = 1}},
    {mw::分组框1, {.x = 0.5, .w = 0.5, .h = 1}},
    {mw::编辑框_操作记录, {.w = 0.5, .h = 1}},
    {mw::标签_进度, {.y = 1}},
    {mw::进度条1, {.y = 1}},
    {mw::标签_进度条比例, {.y = 1}},
    {mw::标签_选择了相册数量, {.y = 1}},
    {mw::标签_正在下载相册, {.y = 1}},
    {mw::标签_第多少张照片, {.y = 1}},
};

struct EnterRule {
  frame::ControlRef edit;
  frame::ControlRef button;
};

// Enter in the address box fetches; in the find window it steps to the
// next match (the first Enter finds the first).
constexpr EnterRule kEnterButtons[] = {
    {mw::编辑框_号码, mw::按钮_获取相册封面},
    {fw::编辑框1, fw::按钮_查找下一个},
};

}  // namespace

Growth GrowthOf(frame::ControlRef control) {
  for (const GrowthRule& rule : kMainWindowGrowth) {
    if (rule.control == control) return rule.growth;
  }
  return {};
}

int GrowingColumn(frame::ControlRef list) { return list == mw::超级列表框1 ? mw::kColumnName : -1; }

frame::ControlRef EnterButton(frame::ControlRef edit) {
  for (const EnterRule& rule : kEnterButtons) {
    if (rule.edit == edit) return rule.button;
  }
  return {};
}

bool LooksClickable(const frame::ControlTemplate& label, frame::ControlRef ref) {
  return label.link || ref == mw::标签_查找;
}

bool ClosesOnEscape(uint32_t window_id) { return window_id != mw::kId; }

frame::ControlRef OpensBeside(uint32_t window_id) {
  return window_id == fw::kId ? mw::超级列表框1 : frame::ControlRef{};
}

bool Grows(uint32_t window_id) { return window_id == mw::kId; }

}  // namespace gui
