// The Qt back end following the model (properties, appends, list rows), its
// dialogs and its event loop.
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "frame/frame.h"
#include "gui/qt_widgets.h"
#include "gui/ui_qt.h"
#include "gui/window_behaviour.h"
#include "platform/codepage.h"

namespace gui {
namespace {

using frame::ControlKind;

QString Q(std::string_view gbk) { return QString::fromStdString(platform::ToUtf8(gbk)); }
QString Lines(std::string_view gbk) { return Q(gbk).remove(QLatin1Char('\r')); }

// The least width of a message box, in pixels.
constexpr int kMessageBoxWidth = 260;

// Restores a flag on every way out of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = old_; }

 private:
  bool& flag_;
  bool old_;
};

}  // namespace

void QtBackend::ApplyOwn(const frame::ControlState& c, QWidget* w) {
  switch (c.tmpl->kind) {
    case ControlKind::kEditBox:
      if (auto* line = qobject_cast<QLineEdit*>(w)) {
        if (line->text() != Q(c.text)) line->setText(Q(c.text));
      } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        edit->setPlainText(Lines(c.text));
      }
      break;
    case ControlKind::kLabel:
      static_cast<QLabel*>(w)->setText(Lines(c.text));
      break;
    case ControlKind::kButton:
      static_cast<QPushButton*>(w)->setText(Q(c.text));
      break;
    case ControlKind::kCheckBox:
      static_cast<QCheckBox*>(w)->setText(Q(c.text));
      static_cast<QCheckBox*>(w)->setChecked(c.checked);
      break;
    case ControlKind::kGroupBox:
      static_cast<QGroupBox*>(w)->setTitle(Q(c.text));
      break;
    case ControlKind::kProgressBar:
      // Qt draws a range of 0 .. 0 as a moving "busy" bar; a bar of no
      // pictures is drawn empty on a range of one step instead.
      static_cast<QProgressBar*>(w)->setRange(0, std::max(c.maximum, 1));
      static_cast<QProgressBar*>(w)->setValue(std::min(c.position, c.maximum));
      break;
    case ControlKind::kTabControl:
      static_cast<TabControl*>(w)->SetCurrent(c.page);
      break;
    case ControlKind::kListView: {
      auto* list = static_cast<QTreeWidget*>(w);
      if (c.selected_row < 0) {
        list->setCurrentItem(nullptr);
        list->clearSelection();
      } else {
        list->setCurrentItem(list->topLevelItem(c.selected_row));
      }
      break;
    }
    default:
      break;
  }
}

void QtBackend::PropertyChanged(const frame::ControlState& c, int index) {
  QWidget* w = Widget(c.ref());
  if (w == nullptr) return;
  FlagScope scope(updating_);
  switch (index) {
    case frame::kLeft:
    case frame::kTop:
    case frame::kWidth:
    case frame::kHeight:
      w->setGeometry(Placed(c));
      break;
    case frame::kVisible:
      if (c.visible) {
        w->setVisible(true);
      } else {
        Hide(w);
      }
      break;
    case frame::kDisabled:
      w->setEnabled(!c.disabled);
      break;
    default:
      if (index >= frame::kOwn) ApplyOwn(c, w);
      break;
  }
}

void QtBackend::Hide(QWidget* w) {
  QWidget* focus = w->window()->focusWidget();
  const bool held_focus = focus != nullptr && (focus == w || w->isAncestorOf(focus));
  QWidget* parent = w->parentWidget();
  const int index = parent ? static_cast<int>(parent->children().indexOf(w)) : -1;
  const QRect place = w->geometry();
  w->setVisible(false);
  if (!held_focus || parent == nullptr) return;
  // A handler shows and hides several buttons in a row (the run buttons):
  // the nearest is chosen once they all stand as the handler left them.
  QMetaObject::invokeMethod(
      parent, [parent, index, place] { FocusNearestButton(parent, index, place); },
      Qt::QueuedConnection);
}

void QtBackend::FocusNearestButton(QWidget* parent, int hidden_index, const QRect& place) {
  const QObjectList& siblings = parent->children();
  QPushButton* nearest = nullptr;
  int64_t best = 0;
  for (int i = 0; i < static_cast<int>(siblings.size()); ++i) {
    auto* button = qobject_cast<QPushButton*>(siblings[i]);
    if (button == nullptr || !button->isVisibleTo(parent) || !button->isEnabled()) continue;
    // The button that took the hidden one's place (the run buttons overlap
    // in turn: 下载选中, 暂停, 继续) comes first, the most overlap winning;
    // then the nearest in order, ties going to the later one.
    const QRect shared = button->geometry().intersected(place);
    const int64_t overlap = shared.isEmpty() ? 0 : int64_t{shared.width()} * shared.height();
    const int64_t distance =
        overlap > 0 ? -overlap : 2 * std::abs(i - hidden_index) - (i > hidden_index ? 1 : 0);
    if (nearest == nullptr || distance < best) {
      nearest = button;
      best = distance;
    }
  }
  if (nearest != nullptr) nearest->setFocus(Qt::OtherFocusReason);
}

void QtBackend::TextAppended(const frame::ControlState& c, std::string_view gbk) {
  QWidget* w = Widget(c.ref());
  FlagScope scope(updating_);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
    // At the end, whatever the user has selected or scrolled to, and shown.
    QTextCursor end(edit->document());
    end.movePosition(QTextCursor::End);
    end.insertText(Lines(gbk));
    edit->setTextCursor(end);
    edit->ensureCursorVisible();
  } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->setText(Q(c.text));
    line->end(false);
  }
}

void QtBackend::FillRow(const frame::ControlState& c, QWidget* w, int row) {
  QTreeWidgetItem* item = static_cast<QTreeWidget*>(w)->topLevelItem(row);
  if (item == nullptr) return;
  const frame::ListRow& r = c.rows[row];
  for (int i = 0; i < static_cast<int>(r.cells.size()); ++i) item->setText(i, Q(r.cells[i]));
  if (r.tick == frame::kTickNone) {
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    item->setData(0, Qt::CheckStateRole, QVariant());
  } else {
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, r.tick == frame::kTicked ? Qt::Checked : Qt::Unchecked);
  }
}

void QtBackend::ListChanged(const frame::ControlState& c, frame::ListChange change, int row,
                            int column) {
  QWidget* w = Widget(c.ref());
  if (w == nullptr) return;
  auto* list = static_cast<QTreeWidget*>(w);
  FlagScope scope(updating_);
  switch (change) {
    case frame::ListChange::kDeleteAll:
      list->clear();
      break;
    case frame::ListChange::kAppendRow:
      list->addTopLevelItem(new QTreeWidgetItem());
      FillRow(c, w, row);
      break;
    case frame::ListChange::kCell:
      if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        item->setText(column, Q(c.rows[row].cells[column]));
      }
      break;
    case frame::ListChange::kTick:
      FillRow(c, w, row);
      break;
    case frame::ListChange::kScrollTo:
      if (QTreeWidgetItem* item = list->topLevelItem(row)) list->scrollToItem(item);
      break;
    case frame::ListChange::kColumnWidth: {
      int width = c.column_widths[column];
      auto view = views_.find(c.window);
      if (column == GrowingColumn(c.ref()) && width > 0 && view != views_.end()) {
        width += static_cast<int>(std::lround(GrowthOf(c.ref()).w * view->second.extra.width()));
      }
      list->setColumnWidth(column, width);
      list->setColumnHidden(column, c.column_widths[column] == 0);
      break;
    }
  }
}

void QtBackend::DestroyWindowView(uint32_t window_id) {
  auto it = views_.find(window_id);
  if (it == views_.end()) return;
  if (QWidget* top = it->second.window.data()) {
    top->hide();
    // The window may be the sender of the event being handled, or be in its
    // own close event: it goes once control is back in an event loop (or
    // when the back end goes).
    top->deleteLater();
  }
  views_.erase(it);
}

void QtBackend::BringToFront(uint32_t window_id) {
  if (QWidget* top = Widget({window_id, 0})) {
    top->show();
    top->raise();
    top->activateWindow();
  }
}

frame::DialogButton QtBackend::MessageBox(const rt::Text& text, const rt::Text& caption,
                                          int style) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (style & 0xF0) {
    case frame::kIconStop:
      icon = QMessageBox::Critical;
      break;
    case frame::kIconQuestion:
      icon = QMessageBox::Question;
      break;
    case frame::kIconWarning:
      icon = QMessageBox::Warning;
      break;
    case frame::kIconInformation:
      icon = QMessageBox::Information;
      break;
  }
  using B = QMessageBox::StandardButton;
  QMessageBox::StandardButtons buttons;
  switch (style & 0xF) {
    case frame::kButtonsOkCancel:
      buttons = B::Ok | B::Cancel;
      break;
    case frame::kButtonsAbortRetryIgnore:
      buttons = B::Abort | B::Retry | B::Ignore;
      break;
    case frame::kButtonsYesNoCancel:
      buttons = B::Yes | B::No | B::Cancel;
      break;
    case frame::kButtonsYesNo:
      buttons = B::Yes | B::No;
      break;
    case frame::kButtonsRetryCancel:
      buttons = B::Retry | B::Cancel;
      break;
    default:
      buttons = B::Ok;
      break;
  }
  QMessageBox box(icon, Q(caption), Lines(text), buttons);
  // Messages may carry texts from the network: never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  // A box of a few words is narrower than a window manager needs to show
  // its title beside the title bar's buttons: it is kept wide enough.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(kMessageBoxWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  switch (box.exec()) {
    case B::Ok:
      return frame::DialogButton::kOk;
    case B::Cancel:
      return frame::DialogButton::kCancel;
    case B::Abort:
      return frame::DialogButton::kAbort;
    case B::Retry:
      return frame::DialogButton::kRetry;
    case B::Ignore:
      return frame::DialogButton::kIgnore;
    case B::Yes:
      return frame::DialogButton::kYes;
    case B::No:
      return frame::DialogButton::kNo;
    default:
      return frame::DialogButton::kNone;
  }
}

std::string QtBackend::BrowseForFolder(const rt::Text& title, const rt::Text& initial_folder) {
  QString start = initial_folder.empty() ? QDir::homePath() : Q(initial_folder);
  QString chosen = QFileDialog::getExistingDirectory(nullptr, Q(title), start);
  return QDir::toNativeSeparators(chosen).toStdString();
}

// The address is complete: guessing a scheme here would make folder names
// web addresses.
void QtBackend::OpenExternal(const rt::Text& address) {
  QDesktopServices::openUrl(QUrl(Q(address)));
}

void QtBackend::RunLoop() { QApplication::exec(); }

// exit, not quit: a quit request would first try to close every window.
void QtBackend::QuitLoop() { QCoreApplication::exit(0); }

void QtBackend::ProcessPending() { QCoreApplication::processEvents(); }

void QtBackend::WakeUi() {
  frame::Frame* frame = frame_;
  QMetaObject::invokeMethod(
      waker_.get(), [frame] { frame->DrainTasks(); }, Qt::QueuedConnection);
}

}  // namespace gui
