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
#include <map>
#include <memory>

#include "frame/ui_backend.h"

class QWidget;

namespace gui {

// The font every control uses; its family is installed with the program's
// packages.
QFont ProgramFont();

// The size of a window's client area for the outer size of its template.
QSize ClientSize(const frame::Rect& outer);

class QtBackend : public frame::UiBackend {
 public:
  QtBackend();
  ~QtBackend() override;

  // The widget of a control (control 0: the window), or nullptr. For tests
  // and screenshots.
  QWidget* Widget(frame::ControlRef ref) const;

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
  };

  QWidget* MakeControl(const frame::ControlState& c, QWidget* parent);
  QWidget* MakeEditBox(const frame::ControlState& c, QWidget* parent);
  QWidget* MakeListView(const frame::ControlState& c, QWidget* parent);
  QWidget* MakeToolbar(const frame::ControlState& c, QWidget* parent);
  void ApplyOwn(const frame::ControlState& c, QWidget* w);
  void FillRow(const frame::ControlState& c, QWidget* w, int row);

  frame::Frame* frame_ = nullptr;
  std::unique_ptr<QObject> waker_;  // context of queued drains; gone with the back end
  std::map<uint32_t, View> views_;
  bool updating_ = false;  // the view follows the model: no user change to report
};

}  // namespace gui

#endif  // TIEPIC_GUI_UI_QT_H_
