// The few widgets the Qt back end needs beyond Qt's own: a top-level window
// that hands its closing and its growth to the back end, a push button that
// Enter presses as well as Space, a label that reports a left-button press,
// a list delegate that shows a cut cell's whole text as its tooltip, and a
// tab control whose pages share the tab control's own coordinates, so that
// controls sit exactly where their template puts them.
//
// Thread safety: Qt widgets; UI thread only.
#ifndef TIEPIC_GUI_QT_WIDGETS_H_
#define TIEPIC_GUI_QT_WIDGETS_H_

#include <QLabel>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QWidget>
#include <functional>
#include <vector>

namespace gui {

class TopWindow : public QWidget {
 public:
  TopWindow(std::function<void()> on_close, std::function<void()> on_resize, bool closes_on_escape)
      : on_close_(std::move(on_close)),
        on_resize_(std::move(on_resize)),
        closes_on_escape_(closes_on_escape) {}

 protected:
  // The frame decides: it destroys this window (and maybe others) itself.
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::function<void()> on_close_;
  std::function<void()> on_resize_;
  bool closes_on_escape_;
};

// Enter or Return on a focused button presses it, as Space does.
class PushButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A cell whose text does not fit its column (drawn cut, ending in "…")
// shows its whole text as a tooltip; a cell that fits shows none.
class CutTextTipDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
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
