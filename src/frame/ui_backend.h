// The seam between the frame and what shows its windows. The frame owns the
// state of every control (window_model.h); a back end mirrors that state on
// screen, runs the UI thread's event loop, shows the dialogs, and reports the
// user's actions back to the frame. Two back ends exist: the Qt widgets of the
// desktop program and the headless one of tests and the command-line front
// end.
//
// Thread safety: every member is called on the UI thread, except WakeUi,
// which any thread may call.
#ifndef TIEPIC_FRAME_UI_BACKEND_H_
#define TIEPIC_FRAME_UI_BACKEND_H_

#include <string_view>

#include "frame/window_model.h"
#include "runtime/value.h"

namespace frame {

using rt::Text;

class Frame;

// The button that closed a message box.
enum class DialogButton { kNone, kOk, kCancel, kAbort, kRetry, kIgnore, kYes, kNo };

// Message box styles: the low four bits choose the buttons, the next four the
// icon.
inline constexpr int kButtonsOk = 0x0;
inline constexpr int kButtonsOkCancel = 0x1;
inline constexpr int kButtonsAbortRetryIgnore = 0x2;
inline constexpr int kButtonsYesNoCancel = 0x3;
inline constexpr int kButtonsYesNo = 0x4;
inline constexpr int kButtonsRetryCancel = 0x5;
inline constexpr int kIconStop = 0x10;
inline constexpr int kIconQuestion = 0x20;
inline constexpr int kIconWarning = 0x30;
inline constexpr int kIconInformation = 0x40;
inline constexpr int kSystemModal = 0x1000;
inline constexpr int kTaskModal = 0x2000;

// What changed in a list view.
enum class ListChange { kDeleteAll, kAppendRow, kCell, kTick, kScrollTo, kColumnWidth };

class UiBackend {
 public:
  virtual ~UiBackend() = default;

  // Called once by the frame's constructor.
  virtual void Attach(Frame& frame) = 0;

  // Builds the views of a window whose state is complete, then shows it.
  // Returns false when the window could not be created.
  virtual bool CreateWindowView(const WindowState& window) = 0;
  virtual void DestroyWindowView(uint32_t window_id) = 0;
  virtual void BringToFront(uint32_t window_id) = 0;

  // The model has changed; the view follows.
  virtual void PropertyChanged(const ControlState& control, int index) = 0;
  virtual void TextAppended(const ControlState& control, std::string_view gbk) = 0;
  virtual void ListChanged(const ControlState& control, ListChange change, int row,
                           int column) = 0;

  // Dialogs. `style` as for message boxes above; the folder dialog returns the
  // chosen folder's name as the file system spells it (UTF-8), "" when
  // cancelled.
  virtual DialogButton MessageBox(const Text& text, const Text& caption, int style) = 0;
  virtual std::string BrowseForFolder(const Text& title, const Text& initial_folder) = 0;
  // Opens a complete address with the desktop's default program: a web
  // address, or the "file://" address of a file or folder (the frame has
  // already told the two apart and made folder names absolute).
  virtual void OpenExternal(const Text& address) = 0;

  // Runs the UI thread's event loop until QuitLoop.
  virtual void RunLoop() = 0;
  virtual void QuitLoop() = 0;
  // Handles the back end's own events already waiting (UI thread only).
  virtual void ProcessPending() = 0;
  // Makes the UI thread call Frame::DrainTasks soon. Any thread.
  virtual void WakeUi() = 0;
};

}  // namespace frame

#endif  // TIEPIC_FRAME_UI_BACKEND_H_
