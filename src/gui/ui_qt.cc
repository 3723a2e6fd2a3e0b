// The Qt back end: building the widgets of a window, following the model,
// reporting the user's changes, dialogs and the event loop.
#include "gui/ui_qt.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QTranslator>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>

#include "frame/frame.h"
#include "gui/qt_widgets.h"
#include "gui/window_behaviour.h"
#include "platform/codepage.h"

namespace gui {
namespace {

using frame::ControlKind;

QString Q(std::string_view gbk) { return QString::fromStdString(platform::ToUtf8(gbk)); }
rt::Text G(const QString& s) { return platform::FromUtf8(s.toStdString()); }

// Qt's text widgets break lines at LF alone; the program's lines end in CR LF.
rt::Text CrLf(const QString& s) {
  QString copy = s;
  return G(copy.replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

}  // namespace

QFont ProgramFont() {
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  // 9 points on the 96-dpi screens the templates were laid out on are 12
  // pixels; this family's glyphs run a little wider than the original
  // font's, so 11 pixels keep each caption inside its control.
  font.setPixelSize(11);
  return font;
}

QSize ClientSize(const frame::Rect& outer) {
  // Borders of 3 pixels and a caption bar of 26, as the templates assume.
  return QSize(outer.width - 6, outer.height - 29);
}

QPoint FindWindowPlace(const QWidget& list, QSize size) {
  const QPoint right = list.mapToGlobal(QPoint(list.width() + 8, 0));
  const QScreen* screen = list.screen();
  if (screen == nullptr) return right;
  const QRect room = screen->availableGeometry();
  // Kept inside the screen, the window may come over the list's right part,
  // but never over its name column at the left.
  const int x = std::max(room.left(), std::min(right.x(), room.right() - size.width()));
  const int y = std::max(room.top(), std::min(right.y(), room.bottom() - size.height()));
  return {x, y};
}

QtBackend::QtBackend()
    : translator_(std::make_unique<QTranslator>()), waker_(std::make_unique<QObject>()) {
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setFont(ProgramFont());
  // The program speaks Chinese whatever the desktop's language: so do Qt's
  // own buttons and dialogs (确定, 取消, the folder dialog).
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  if (translator_->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator_.get());
  }
}

QtBackend::~QtBackend() {
  QCoreApplication::removeTranslator(translator_.get());
  for (auto& [id, view] : views_) delete view.window.data();
  // Windows destroyed outside a running loop still wait for deletion.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QWidget* QtBackend::Widget(frame::ControlRef ref) const {
  auto it = views_.find(ref.window);
  if (it == views_.end()) return nullptr;
  if (ref.control == 0) return it->second.window.data();
  auto c = it->second.controls.find(ref.control);
  return c == it->second.controls.end() ? nullptr : c->second;
}

bool QtBackend::CreateWindowView(const frame::WindowState& window) {
  const uint32_t id = window.tmpl->id;
  auto* top = new TopWindow([this, id] { UserClosing(id); }, [this, id] { FollowWindowSize(id); },
                            ClosesOnEscape(id));
  top->setWindowTitle(Q(window.tmpl->caption));
  top->setFont(ProgramFont());
  const QSize base = ClientSize(window.tmpl->rect);
  if (Grows(id)) {
    top->setMinimumSize(base);
    top->resize(base);
  } else {
    top->setFixedSize(base);
  }
  QPoint place(window.tmpl->rect.left, window.tmpl->rect.top);
  if (QWidget* beside = Widget(OpensBeside(id)); beside != nullptr && beside->isVisible()) {
    place = FindWindowPlace(*beside, top->frameSize());
  }
  top->move(place);
  View& view = views_[id];
  view.window = top;
  view.base = base;
  updating_ = true;
  for (const frame::ControlState& c : window.controls) {
    QWidget* parent = top;
    if (!c.tmpl->container.empty()) {
      const frame::ControlTemplate* container = window.tmpl->Find(c.tmpl->container);
      if (container == nullptr) continue;
      parent = view.controls.at(container->id);
      if (container->kind == ControlKind::kTabControl) {
        parent = static_cast<TabControl*>(parent)->page(c.tmpl->page);
      }
    }
    QWidget* w = MakeControl(c, parent);
    w->setGeometry(Placed(c));
    w->setVisible(c.visible);
    w->setEnabled(!c.disabled);
    ApplyOwn(c, w);
    view.controls[c.tmpl->id] = w;
  }
  updating_ = false;
  top->show();
  return true;
}

QRect QtBackend::Placed(const frame::ControlState& c) const {
  QRect rect(c.rect.left, c.rect.top, c.rect.width, c.rect.height);
  auto it = views_.find(c.window);
  if (it == views_.end() || it->second.extra == QSize(0, 0)) return rect;
  const Growth g = GrowthOf(c.ref());
  const QSize extra = it->second.extra;
  auto share = [](double part, int room) { return static_cast<int>(std::lround(part * room)); };
  rect.translate(share(g.x, extra.width()), share(g.y, extra.height()));
  rect.setSize(rect.size() + QSize(share(g.w, extra.width()), share(g.h, extra.height())));
  return rect;
}

void QtBackend::FollowWindowSize(uint32_t window_id) {
  auto it = views_.find(window_id);
  const frame::WindowState* window = frame_ ? frame_->Window(window_id) : nullptr;
  if (it == views_.end() || window == nullptr || it->second.window.isNull()) return;
  View& view = it->second;
  const QSize old_extra = view.extra;
  view.extra = (view.window->size() - view.base).expandedTo(QSize(0, 0));
  if (view.extra == old_extra) return;
  for (const frame::ControlState& c : window->controls) {
    const Growth g = GrowthOf(c.ref());
    auto w = view.controls.find(c.tmpl->id);
    if (g.none() || w == view.controls.end()) continue;
    w->second->setGeometry(Placed(c));
    const int column = GrowingColumn(c.ref());
    if (auto* list = qobject_cast<QTreeWidget*>(w->second); list && column >= 0) {
      // The name column takes the list's extra width; a width the user
      // dragged it to is kept, moved by the same amount.
      const int change = static_cast<int>(std::lround(g.w * view.extra.width())) -
                         static_cast<int>(std::lround(g.w * old_extra.width()));
      list->setColumnWidth(column, std::max(1, list->columnWidth(column) + change));
    }
  }
}

void QtBackend::UserClosing(uint32_t window_id) {
  if (close_guard_ && !close_guard_(window_id)) return;
  frame_->UserClosedWindow(window_id);
}

QWidget* QtBackend::MakeControl(const frame::ControlState& c, QWidget* parent) {
  const frame::ControlRef ref = c.ref();
  switch (c.tmpl->kind) {
    case ControlKind::kEditBox:
      return MakeEditBox(c, parent);
    case ControlKind::kLabel: {
      auto* label = new ClickLabel(parent, [this, ref] {
        frame_->DispatchEvent(ref, frame::EventKey::kLeftButtonDown);
      });
      // Texts from the network land in labels: never read them as markup.
      label->setTextFormat(Qt::PlainText);
      // Words wrap; a rule of underscores is one line, cut at the edge.
      const rt::Text& caption = c.tmpl->caption;
      label->setWordWrap(std::any_of(caption.begin(), caption.end(), [](char ch) {
        return static_cast<unsigned char>(ch) >= 0x80 || ch == ' ' || ch == '\n';
      }));
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      if (LooksClickable(*c.tmpl, ref)) {
        label->setCursor(Qt::PointingHandCursor);
        QFont font = label->font();
        font.setUnderline(true);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        label->setPalette(palette);
      }
      return label;
    }
    case ControlKind::kButton: {
      auto* button = new PushButton(parent);
      QObject::connect(button, &QPushButton::clicked, button, [this, ref] {
        frame_->DispatchEvent(ref, frame::EventKey::kClicked);
      });
      return button;
    }
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(parent);
      QObject::connect(box, &QCheckBox::clicked, box, [this, ref](bool checked) {
        frame_->UserSetChecked(ref, checked);
        frame_->DispatchEvent(ref, frame::EventKey::kClicked);
      });
      return box;
    }
    case ControlKind::kGroupBox:
      return new QGroupBox(parent);
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      return bar;
    }
    case ControlKind::kListView:
      return MakeListView(c, parent);
    case ControlKind::kDrawingPanel: {
      auto* panel = new QWidget(parent);
      panel->setAttribute(Qt::WA_TransparentForMouseEvents);
      return panel;
    }
    case ControlKind::kTabControl: {
      QStringList titles;
      for (const rt::Text& title : c.tmpl->items) titles << Q(title);
      return new TabControl(parent, titles, [this, ref](int page) {
        frame_->UserSetPage(ref, page);
        frame_->DispatchEvent(ref, frame::EventKey::kPageChanged, page);
      });
    }
    case ControlKind::kToolbar:
      return MakeToolbar(c, parent);
  }
  return new QWidget(parent);
}

QWidget* QtBackend::MakeEditBox(const frame::ControlState& c, QWidget* parent) {
  const frame::ControlRef ref = c.ref();
  if (c.tmpl->multi_line) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setUndoRedoEnabled(false);
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [this, ref, edit] {
      if (!updating_) frame_->UserEditedText(ref, CrLf(edit->toPlainText()));
    });
    return edit;
  }
  auto* edit = new QLineEdit(parent);
  QObject::connect(edit, &QLineEdit::textEdited, edit, [this, ref](const QString& text) {
    frame_->UserEditedText(ref, G(text));
  });
  if (const frame::ControlRef button = EnterButton(ref); button.control != 0) {
    // As a click on the button: nothing while it is hidden or disabled.
    QObject::connect(edit, &QLineEdit::returnPressed, edit, [this, button] {
      auto* target = qobject_cast<QPushButton*>(Widget(button));
      if (target != nullptr && target->isVisible() && target->isEnabled()) target->click();
    });
  }
  return edit;
}

QWidget* QtBackend::MakeListView(const frame::ControlState& c, QWidget* parent) {
  const frame::ControlRef ref = c.ref();
  auto* list = new QTreeWidget(parent);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->header()->setMinimumSectionSize(1);
  list->header()->setStretchLastSection(false);
  list->setItemDelegate(new CutTextTipDelegate(list));
  QStringList titles;
  for (const frame::ListColumn& column : c.tmpl->columns) titles << Q(column.title);
  list->setHeaderLabels(titles);
  for (int i = 0; i < static_cast<int>(c.column_widths.size()); ++i) {
    list->setColumnWidth(i, c.column_widths[i]);
    list->setColumnHidden(i, c.column_widths[i] == 0);
  }
  QObject::connect(list, &QTreeWidget::itemChanged, list,
                   [this, ref, list](QTreeWidgetItem* item, int column) {
                     if (updating_ || column != 0) return;
                     if (!(item->flags() & Qt::ItemIsUserCheckable)) return;
                     frame_->UserSetTick(ref, list->indexOfTopLevelItem(item),
                                         item->checkState(0) == Qt::Checked);
                   });
  QObject::connect(list, &QTreeWidget::currentItemChanged, list,
                   [this, ref, list](QTreeWidgetItem* item) {
                     if (!updating_) frame_->UserSelectedRow(ref, list->indexOfTopLevelItem(item));
                   });
  return list;
}

QWidget* QtBackend::MakeToolbar(const frame::ControlState& c, QWidget* parent) {
  const frame::ControlRef ref = c.ref();
  auto* bar = new QToolBar(parent);
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setIconSize(QSize(24, 24));
  const QStyle::StandardPixmap icons[] = {QStyle::SP_ArrowDown,
                                          QStyle::SP_FileDialogDetailedView,
                                          QStyle::SP_MessageBoxQuestion};
  for (int i = 0; i < static_cast<int>(c.tmpl->items.size()); ++i) {
    if (i > 0) bar->addSeparator();
    QAction* action = bar->addAction(bar->style()->standardIcon(icons[i % 3]), Q(c.tmpl->items[i]));
    QObject::connect(action, &QAction::triggered, bar, [this, ref, i] {
      frame_->DispatchEvent(ref, frame::EventKey::kToolbarClicked, i);
    });
  }
  return bar;
}

}  // namespace gui
