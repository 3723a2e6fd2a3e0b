// Property reads and writes, list-view methods, appending to edit boxes and
// the dialog commands. Each public call runs on the UI thread (Frame::OnUi);
// the model changes first, then the back end's view follows.
#include <algorithm>

#include "frame/desktop_address.h"
#include "frame/frame.h"
#include "runtime/conversion_commands.h"
#include "runtime/fatal.h"
#include "runtime/file_commands.h"
#include "runtime/gbk.h"

namespace frame {

using rt::Bytes;
using rt::FatalError;
using rt::FitsText;
using rt::FromUtf8;
using rt::SubroutineRef;
using rt::Text;
using rt::ToInteger;
using rt::ToText;
using rt::Value;
using rt::operator""_gbk;

namespace {

bool AsBool(const Value& v) {
  if (const bool* b = std::get_if<bool>(&v)) return *b;
  return ToInteger(v) != 0;
}

Text AsText(const Value& v) {
  if (const Text* t = std::get_if<Text>(&v)) return *t;
  if (std::holds_alternative<std::monostate>(v)) return {};
  return ToText(v);
}

int ClampProgress(int n) { return std::clamp(n, 0, kProgressLimit); }

bool ValidRow(const ControlState& c, int row) {
  return row >= 0 && row < static_cast<int>(c.rows.size());
}

bool ValidColumn(const ControlState& c, int column) {
  return column >= 0 && column < static_cast<int>(c.column_widths.size());
}

}  // namespace

ControlState* Frame::LiveControl(ControlRef ref) {
  auto it = windows_.find(ref.window);
  if (it == windows_.end()) {
    // Workers go on writing while the windows close at the end; their calls
    // are dropped then, not taken for the logic's own fault.
    if (end_begun_) return nullptr;
    FatalError("未载入欲访问窗口组件所在的窗口"_gbk);
  }
  ControlState* c = it->second.Find(ref.control);
  // A control id the loaded window does not hold has no live control.
  if (c == nullptr) FatalError("指定窗口尚未载入"_gbk);
  return c;
}

const WindowState* Frame::Window(uint32_t window_id) const {
  auto it = windows_.find(window_id);
  return it == windows_.end() ? nullptr : &it->second;
}

ControlState* Frame::FindControl(ControlRef ref) {
  auto it = windows_.find(ref.window);
  return it == windows_.end() ? nullptr : it->second.Find(ref.control);
}

const ControlState* Frame::Control(ControlRef ref) const {
  const WindowState* w = Window(ref.window);
  return w == nullptr ? nullptr : w->Find(ref.control);
}

Value Frame::ReadProperty(ControlRef ref, int index, int array_index) {
  (void)array_index;  // no property of these kinds is an array
  return OnUi([&]() -> Value {
    ControlState* live = LiveControl(ref);
    if (live == nullptr) return Value{};
    ControlState& c = *live;
    switch (index) {
      case kLeft: return c.rect.left;
      case kTop: return c.rect.top;
      case kWidth: return c.rect.width;
      case kHeight: return c.rect.height;
      case kTag: return c.tag;
      case kVisible: return c.visible;
      case kDisabled: return c.disabled;
      case kData: return c.data;
      default: return index >= kOwn ? ReadOwn(c, index - kOwn) : Value{};
    }
  });
}

void Frame::WriteProperty(ControlRef ref, int index, const Value& value, int array_index) {
  (void)array_index;
  OnUi([&] {
    ControlState* live = LiveControl(ref);
    if (live == nullptr) return;
    ControlState& c = *live;
    switch (index) {
      case kLeft: c.rect.left = ToInteger(value); break;
      case kTop: c.rect.top = ToInteger(value); break;
      case kWidth: c.rect.width = std::max(0, ToInteger(value)); break;
      case kHeight: c.rect.height = std::max(0, ToInteger(value)); break;
      case kTag: c.tag = AsText(value); return;
      case kVisible: c.visible = AsBool(value); break;
      case kDisabled: c.disabled = AsBool(value); break;
      case kData:
        if (const Bytes* b = std::get_if<Bytes>(&value)) c.data = *b;
        return;
      default:
        if (index < kOwn) return;
        WriteOwn(c, index - kOwn, value);
        return;
    }
    backend_.PropertyChanged(c, index);
  });
}

Value Frame::ReadOwn(const ControlState& c, int own) const {
  switch (c.tmpl->kind) {
    case ControlKind::kEditBox:
    case ControlKind::kLabel:
    case ControlKind::kButton:
    case ControlKind::kGroupBox:
      if (own == 0) return c.text;
      break;
    case ControlKind::kCheckBox:
      if (own == 0) return c.text;
      if (own == 1) return c.checked;
      break;
    case ControlKind::kTabControl:
      if (own == 0) return c.page;
      break;
    case ControlKind::kProgressBar:
      if (own == 0) return c.maximum;
      if (own == 1) return c.position;
      break;
    case ControlKind::kListView:
      if (own == 0) return c.selected_row;
      break;
    default:
      break;
  }
  return {};
}

void Frame::WriteOwn(ControlState& c, int own, const Value& value) {
  switch (c.tmpl->kind) {
    case ControlKind::kEditBox:
    case ControlKind::kLabel:
    case ControlKind::kButton:
    case ControlKind::kGroupBox:
    case ControlKind::kCheckBox:
      if (own == 0) {
        c.text = AsText(value);
      } else if (own == 1 && c.tmpl->kind == ControlKind::kCheckBox) {
        c.checked = AsBool(value);
      } else {
        return;
      }
      break;
    case ControlKind::kTabControl: {
      int page = ToInteger(value);
      if (own != 0 || page < 0 || page >= static_cast<int>(c.tmpl->items.size())) return;
      c.page = page;
      break;
    }
    case ControlKind::kProgressBar:
      if (own == 0) {
        c.maximum = ClampProgress(ToInteger(value));
      } else if (own != 1) {
        return;
      }
      c.position = std::min(own == 1 ? ClampProgress(ToInteger(value)) : c.position, c.maximum);
      backend_.PropertyChanged(c, kMaximum);
      backend_.PropertyChanged(c, kPosition);
      return;
    case ControlKind::kListView: {
      int row = ToInteger(value);
      if (own != 0 || row < -1 || row >= static_cast<int>(c.rows.size())) return;
      c.selected_row = row;
      break;
    }
    default:
      return;
  }
  backend_.PropertyChanged(c, kOwn + own);
}

Text Frame::GetText(ControlRef ref) { return AsText(ReadProperty(ref, kText)); }
void Frame::SetText(ControlRef ref, std::string_view gbk) {
  WriteProperty(ref, kText, Text(gbk));
}
bool Frame::IsChecked(ControlRef ref) { return AsBool(ReadProperty(ref, kChecked)); }
void Frame::SetChecked(ControlRef ref, bool checked) { WriteProperty(ref, kChecked, checked); }
void Frame::SetVisible(ControlRef ref, bool visible) { WriteProperty(ref, kVisible, visible); }
void Frame::SetCurrentPage(ControlRef ref, int page) { WriteProperty(ref, kCurrentPage, page); }
void Frame::SetProgressMaximum(ControlRef ref, int n) { WriteProperty(ref, kMaximum, n); }
void Frame::SetProgressPosition(ControlRef ref, int n) { WriteProperty(ref, kPosition, n); }
void Frame::SetSelectedRow(ControlRef ref, int row) { WriteProperty(ref, kSelectedRow, row); }

// Runs fn(list) on the UI thread for a list view; other kinds are left alone
// and give a value-initialised result.
template <class F>
auto Frame::WithList(ControlRef ref, F&& fn) {
  return OnUi([&] {
    ControlState* c = LiveControl(ref);
    using R = std::invoke_result_t<F, ControlState&>;
    if (c == nullptr || c->tmpl->kind != ControlKind::kListView) return R();
    return fn(*c);
  });
}

void Frame::ListDeleteAll(ControlRef ref) {
  WithList(ref, [&](ControlState& c) {
    c.rows.clear();
    c.selected_row = c.scrolled_row = -1;
    backend_.ListChanged(c, ListChange::kDeleteAll, -1, -1);
  });
}

int Frame::ListAppendRow(ControlRef ref) {
  return WithList(ref, [&](ControlState& c) {
    c.rows.push_back(ListRow{std::vector<Text>(c.column_widths.size()), kUnticked});
    int row = static_cast<int>(c.rows.size()) - 1;
    backend_.ListChanged(c, ListChange::kAppendRow, row, -1);
    return row;
  });
}

void Frame::ListSetCell(ControlRef ref, int row, int column, std::string_view gbk) {
  WithList(ref, [&](ControlState& c) {
    if (!ValidRow(c, row) || !ValidColumn(c, column)) return;
    c.rows[row].cells[column] = Text(gbk);
    backend_.ListChanged(c, ListChange::kCell, row, column);
  });
}

Text Frame::ListGetCell(ControlRef ref, int row, int column) {
  return WithList(ref, [&](ControlState& c) {
    return ValidRow(c, row) && ValidColumn(c, column) ? c.rows[row].cells[column] : Text();
  });
}

void Frame::ListSetTick(ControlRef ref, int row, int state) {
  WithList(ref, [&](ControlState& c) {
    if (!ValidRow(c, row)) return;
    c.rows[row].tick = (state == kTicked || state == kUnticked) ? state : kTickNone;
    backend_.ListChanged(c, ListChange::kTick, row, -1);
  });
}

int Frame::ListGetTick(ControlRef ref, int row) {
  return WithList(ref, [&](ControlState& c) {
    return ValidRow(c, row) ? c.rows[row].tick : kTickNone;
  });
}

int Frame::ListRowCount(ControlRef ref) {
  return WithList(ref, [](ControlState& c) { return static_cast<int>(c.rows.size()); });
}

void Frame::ListScrollIntoView(ControlRef ref, int row) {
  WithList(ref, [&](ControlState& c) {
    if (!ValidRow(c, row)) return;
    c.scrolled_row = row;
    backend_.ListChanged(c, ListChange::kScrollTo, row, -1);
  });
}

void Frame::ListSetColumnWidth(ControlRef ref, int column, int width) {
  WithList(ref, [&](ControlState& c) {
    if (!ValidColumn(c, column)) return;
    c.column_widths[column] = std::max(0, width);
    backend_.ListChanged(c, ListChange::kColumnWidth, -1, column);
  });
}

void Frame::AppendEditText(ControlRef ref, std::initializer_list<std::string_view> texts) {
  OnUi([&] {
    ControlState* c = LiveControl(ref);
    if (c == nullptr || c->tmpl->kind != ControlKind::kEditBox) return;
    for (std::string_view text : texts) {
      c->text += text;
      backend_.TextAppended(*c, text);
    }
  });
}

int Frame::ShowMessageBox(const Value& message, int buttons,
                          std::optional<std::string_view> caption) {
  Text text = std::holds_alternative<Bytes>(message) ||
                      std::holds_alternative<SubroutineRef>(message)
                  ? Text()
                  : AsText(message);
  Text title = caption ? Text(*caption) : "信息："_gbk;
  int style = (buttons & kSystemModal) ? buttons : (buttons | kTaskModal);
  DialogButton pressed = OnUi([&] { return backend_.MessageBox(text, title, style); });
  switch (pressed) {
    case DialogButton::kCancel: return 1;
    case DialogButton::kAbort: return 2;
    case DialogButton::kRetry: return 3;
    case DialogButton::kIgnore: return 4;
    case DialogButton::kYes: return 5;
    case DialogButton::kNo: return 6;
    default: return 0;
  }
}

Text Frame::BrowseForFolder(std::string_view title, std::string_view initial_folder,
                            bool* unfit) {
  std::string utf8 =
      OnUi([&] { return backend_.BrowseForFolder(Text(title), Text(initial_folder)); });
  const bool fits = FitsText(utf8);
  if (unfit != nullptr) *unfit = !fits;
  return fits ? FromUtf8(utf8) : Text();
}

bool Frame::OpenExternal(std::string_view file, std::string_view directory) {
  const Text address = DesktopAddress(file, directory);
  if (address.empty()) return false;
  OnUi([&] { backend_.OpenExternal(address); });
  return true;
}

void Frame::UserEditedText(ControlRef ref, Text gbk) {
  if (ControlState* c = FindControl(ref)) c->text = std::move(gbk);
}

void Frame::UserSetChecked(ControlRef ref, bool checked) {
  if (ControlState* c = FindControl(ref)) c->checked = checked;
}

void Frame::UserSetPage(ControlRef ref, int page) {
  if (ControlState* c = FindControl(ref)) c->page = page;
}

void Frame::UserSetTick(ControlRef ref, int row, bool ticked) {
  ControlState* c = FindControl(ref);
  if (c != nullptr && ValidRow(*c, row)) c->rows[row].tick = ticked ? kTicked : kUnticked;
}

void Frame::UserSelectedRow(ControlRef ref, int row) {
  ControlState* c = FindControl(ref);
  if (c != nullptr && row >= -1 && row < static_cast<int>(c->rows.size())) c->selected_row = row;
}

}  // namespace frame
