// The window model: what a window template describes and what a loaded window
// holds. The frame keeps the live state of every control here, on the UI
// thread; a back end only mirrors it on screen and reports the user's changes
// back, so the logic reads the same values whether a display exists or not.
//
// Thread safety: plain data, touched only on the UI thread (the frame
// marshals calls from other threads there).
#ifndef TIEPIC_FRAME_WINDOW_MODEL_H_
#define TIEPIC_FRAME_WINDOW_MODEL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace frame {

using rt::Bytes;
using rt::Text;

enum class ControlKind {
  kEditBox,
  kLabel,
  kButton,
  kCheckBox,
  kGroupBox,
  kProgressBar,
  kListView,  // with a tick box in each row
  kDrawingPanel,
  kTabControl,
  kToolbar,
};

// What a control (or, with control id 0, a window) reports to the logic.
enum class EventKey {
  kCreated,          // window: built from its template, before user input
  kClicked,          // button, check box
  kLeftButtonDown,   // label, drawing panel
  kPageChanged,      // tab control; argument: the new page
  kToolbarClicked,   // toolbar; argument: the button's index
};

// Returns true iff controls of `kind` raise events at all.
bool KindRaisesEvents(ControlKind kind);

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct ListColumn {
  Text title;
  int width = 0;
};

// A control as its template gives it. Names are the template names (UTF-8
// source identifiers); captions and titles are GBK texts.
struct ControlTemplate {
  uint32_t id = 0;
  std::string name;
  ControlKind kind = ControlKind::kLabel;
  std::string container;  // the parent control's name; empty: the window itself
  int page = 0;           // the tab page, when the container is a tab control
  Text caption;
  Rect rect;              // inside the container, in pixels
  bool visible = true;
  bool multi_line = false;           // edit box
  bool link = false;                 // label that opens a web page
  std::vector<ListColumn> columns;   // list view
  std::vector<Text> items;           // tab page titles or toolbar buttons
};

struct WindowTemplate {
  uint32_t id = 0;
  std::string name;
  Text caption;
  Rect rect;  // outer frame on the desktop
  std::vector<ControlTemplate> controls;

  // nullptr when no control has that id or name.
  const ControlTemplate* Find(uint32_t control_id) const;
  const ControlTemplate* Find(std::string_view control_name) const;
};

// A control of a loaded window, addressed by the ids of its templates.
struct ControlRef {
  uint32_t window = 0;
  uint32_t control = 0;  // 0: the window itself
  friend constexpr bool operator==(ControlRef, ControlRef) = default;
};

// A row's tick: ticked, unticked, or no tick state at all.
inline constexpr int kTickNone = -1;
inline constexpr int kUnticked = 0;
inline constexpr int kTicked = 1;

struct ListRow {
  std::vector<Text> cells;
  int tick = kUnticked;
};

// Property indexes. 0 to 7 belong to every control; 8 and above are the
// kind's own (kOwn + n).
enum PropertyIndex : int {
  kLeft = 0,
  kTop = 1,
  kWidth = 2,
  kHeight = 3,
  kTag = 4,
  kVisible = 5,
  kDisabled = 6,
  kData = 7,
  kOwn = 8,
  // Own properties by kind.
  kText = kOwn,            // edit box
  kCaption = kOwn,         // label, button, check box, group box
  kChecked = kOwn + 1,     // check box
  kCurrentPage = kOwn,     // tab control
  kMaximum = kOwn,         // progress bar
  kPosition = kOwn + 1,    // progress bar
  kSelectedRow = kOwn,     // list view
};

inline constexpr int kProgressLimit = 32767;

struct ControlState {
  const ControlTemplate* tmpl = nullptr;
  uint32_t window = 0;
  Rect rect;
  bool visible = true;
  bool disabled = false;
  Text tag;
  Bytes data;
  Text text;  // edit text or caption
  bool checked = false;
  int page = 0;
  int maximum = 100;
  int position = 0;
  int selected_row = -1;
  int scrolled_row = -1;  // the row last scrolled into view
  std::vector<ListRow> rows;
  std::vector<int> column_widths;

  ControlRef ref() const { return {window, tmpl->id}; }
};

struct WindowState {
  const WindowTemplate* tmpl = nullptr;
  std::vector<ControlState> controls;  // in template order

  ControlState* Find(uint32_t control_id);
  const ControlState* Find(uint32_t control_id) const;
};

// A loaded window's state as its template sets it up.
WindowState MakeWindowState(const WindowTemplate& tmpl);

}  // namespace frame

#endif  // TIEPIC_FRAME_WINDOW_MODEL_H_
