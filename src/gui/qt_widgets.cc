// The back end's own widgets.
#include "gui/qt_widgets.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QFrame>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegion>
#include <QToolTip>

namespace gui {

void TopWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (on_close_) on_close_();
}

void TopWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (on_resize_) on_resize_();
}

void TopWindow::keyPressEvent(QKeyEvent* event) {
  if (closes_on_escape_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PushButton::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !event->isAutoRepeat()) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

bool CutTextTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
  if (event->type() != QEvent::ToolTip || !index.isValid()) {
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  }
  QStyleOptionViewItem item = option;
  initStyleOption(&item, index);
  const QRect room = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &item, view);
  // The style keeps a small margin on each side of the text.
  const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, &item, view) + 1;
  if (!item.text.isEmpty() &&
      item.fontMetrics.horizontalAdvance(item.text) > room.width() - 2 * margin) {
    QToolTip::showText(event->globalPos(), item.text, view->viewport(), option.rect);
  } else {
    QToolTip::hideText();
  }
  return true;
}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
  QLabel::mousePressEvent(event);
  if (event->button() == Qt::LeftButton && on_press_) on_press_();
}

TabControl::TabControl(QWidget* parent, const QStringList& titles,
                       std::function<void(int)> on_change)
    : QWidget(parent), bar_(new QTabBar(this)), pane_(new QFrame(this)) {
  static_cast<QFrame*>(pane_)->setFrameShape(QFrame::StyledPanel);
  pane_->setAutoFillBackground(true);
  bar_->setExpanding(false);
  for (const QString& title : titles) {
    bar_->addTab(title);
    QWidget* page = new QWidget(this);
    pages_.push_back(page);
  }
  bar_->raise();
  QObject::connect(bar_, &QTabBar::currentChanged, this, [this, on_change](int n) {
    ShowOnly(n);
    if (on_change) on_change(n);
  });
  ShowOnly(0);
}

void TabControl::SetCurrent(int n) {
  QSignalBlocker block(bar_);
  bar_->setCurrentIndex(n);
  ShowOnly(n);
}

void TabControl::ShowOnly(int n) {
  for (int i = 0; i < static_cast<int>(pages_.size()); ++i) pages_[i]->setVisible(i == n);
  if (n >= 0 && n < static_cast<int>(pages_.size())) pages_[n]->raise();
}

void TabControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int bar_height = bar_->sizeHint().height();
  bar_->setGeometry(0, 0, width(), bar_height);
  pane_->setGeometry(0, bar_height - 1, width(), height() - bar_height + 1);
  for (QWidget* page : pages_) {
    page->setGeometry(0, 0, width(), height());
    // Clicks on the tab bar must reach it, not the page above it.
    page->setMask(QRegion(0, bar_height, width(), height() - bar_height));
  }
}

}  // namespace gui
