// The Qt 6 Widgets back end: every control of a loaded window becomes a Qt
// widget at the absolute position its template gives, in one CJK font whose
// size is close to the 9-point system font the templates were laid out for.
// User actions go back to the frame as model changes and events; calls
// queued for the UI thread are drained from Qt's event loop.
//
// Thread safety: a QApplication must exist before the back end is made;
// everything runs on its thread except WakeUi, which any thread may call.
#ifndef TIEPIC_GUI_UI_QT_H_
#define TIEPIC_GUI_UI_QT_H_

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <functional>
#include <map>
#include <memory>

#include "frame/ui_backend.h"

class QTranslator;
class QWidget;

namespace gui {

// The font every control uses; its family is installed with the program's
// packages.
QFont ProgramFont();

// The size of a window's client area for the outer size of its template.
QSize ClientSize(const frame::Rect& outer);

// Where the find window of `size` opens: beside the album list `list` (on
// its right, level with its top) and kept on the screen, so that the row it
// finds stays in sight.
QPoint FindWindowPlace(const QWidget& list, QSize size);

class QtBackend : public frame::UiBackend {
 public:
  QtBackend();
  ~QtBackend() override;

  // The widget of a control (control 0: the window), or nullptr. For tests
  // and screenshots.
  QWidget* Widget(frame::ControlRef ref) const;

  // Asked when the user closes a window (its close button, the window
  // manager, Escape); the window closes only when it returns true. Without
  // a guard every window closes at once.
  void SetCloseGuard(std::function<bool(uint32_t window_id)> guard) {
    close_guard_ = std::move(guard);
  }

  void Attach(frame::Frame& frame) override { frame_ = &frame; }
  bool CreateWindowView(const frame::WindowState& window) override;
  void DestroyWindowView(uint32_t window_id) override;
  void BringToFront(uint32_t window_id) override;
  void PropertyChanged(const frame::ControlState& control, int index) override;
  void TextAppended(const frame::ControlState& control, std::string_view gbk) override;
  void ListChanged(const frame::ControlState& control, frame::ListChange change, int row,
                   int column) override;
  frame::DialogButton MessageBox(const rt::Text& text, const rt::Text& caption,
                              int style) override;
  std::string BrowseForFolder(const rt::Text& title, const rt::Text& initial_folder) override;
  void OpenExternal(const rt::Text& address) override;
  void RunLoop() override;
  void QuitLoop() override;
  void ProcessPending() override;
  void WakeUi() override;

 private:
  struct View {
    QPointer<QWidget> window;
    std::map<uint32_t, QWidget*> controls;
    QSize base;         // the template's client size: the smallest the window gets
    QSize extra{0, 0};  // how far the window has grown beyond it, as last laid out
  };

  QWidget* MakeControl(const frame::ControlState& c, QWidget* parent);
  QWidget* MakeEditBox(const frame::ControlState& c, QWidget* parent);
  QWidget* MakeListView(const frame::ControlState& c, QWidget* parent);
  QWidget* MakeToolbar(const frame::ControlState& c, QWidget* parent);
  void ApplyOwn(const frame::ControlState& c, QWidget* w);
  void FillRow(const frame::ControlState& c, QWidget* w, int row);
  // A control's geometry: its model's rectangle, moved and stretched by the
  // window's growth.
  QRect Placed(const frame::ControlState& c) const;
  void UserClosing(uint32_t window_id);
  // Lays the controls of a grown (or shrunk back) window out again.
  void FollowWindowSize(uint32_t window_id);
  // Hides a control; when it held its window's focus, the focus goes to the
  // nearest shown button of its group once the model's current changes are
  // all applied, never on to whatever control comes next (Qt's choice,
  // which may be an edit box with its whole text selected).
  void Hide(QWidget* w);
  static void FocusNearestButton(QWidget* parent, int hidden_index, const QRect& place);

  frame::Frame* frame_ = nullptr;
  std::function<bool(uint32_t)> close_guard_;
  std::unique_ptr<QTranslator> translator_;  // Qt's own dialogs in Chinese
  std::unique_ptr<QObject> waker_;  // context of queued drains; gone with the back end
  std::map<uint32_t, View> views_;
  bool updating_ = false;  // the view follows the model: no user change to report
};

}  // namespace gui

#endif  // TIEPIC_GUI_UI_QT_H_
