// The few widgets the Qt back end needs beyond Qt's own: a top-level window
// that hands its closing to the frame, a label that reports a left-button
// press, and a tab control whose pages share the tab control's own
// coordinates, so that controls sit exactly where their template puts them.
//
// Thread safety: Qt widgets; UI thread only.
#ifndef TIEPIC_GUI_QT_WIDGETS_H_
#define TIEPIC_GUI_QT_WIDGETS_H_

#include <QLabel>
#include <QTabBar>
#include <QWidget>
#include <functional>
#include <vector>

namespace gui {

class TopWindow : public QWidget {
 public:
  explicit TopWindow(std::function<void()> on_close) : on_close_(std::move(on_close)) {}

 protected:
  // The frame decides: it destroys this window (and maybe others) itself.
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> on_close_;
};

class ClickLabel : public QLabel {
 public:
  ClickLabel(QWidget* parent, std::function<void()> on_press)
      : QLabel(parent), on_press_(std::move(on_press)) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::function<void()> on_press_;
};

// A tab bar over a framed pane; page n is a widget covering the whole
// control, masked below the tab bar, so its children use the tab control's
// coordinates.
class TabControl : public QWidget {
 public:
  TabControl(QWidget* parent, const QStringList& titles, std::function<void(int)> on_change);

  QWidget* page(int n) const { return pages_.at(n); }
  int current() const { return bar_->currentIndex(); }
  // Shows page n without reporting a change.
  void SetCurrent(int n);
  QTabBar* bar() const { return bar_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowOnly(int n);

  QTabBar* bar_;
  QWidget* pane_;
  std::vector<QWidget*> pages_;
};

}  // namespace gui

#endif  // TIEPIC_GUI_QT_WIDGETS_H_
