// The Qt back end: building the widgets of a window, following the model,
// reporting the user's changes, dialogs and the event loop.
#include "gui/ui_qt.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>

#include "frame/frame.h"
#include "gui/qt_widgets.h"
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

QtBackend::QtBackend() : waker_(std::make_unique<QObject>()) {
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setFont(ProgramFont());
}

QtBackend::~QtBackend() {
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
  auto* top = new TopWindow([this, id] { frame_->UserClosedWindow(id); });
  top->setWindowTitle(Q(window.tmpl->caption));
  top->setFont(ProgramFont());
  top->setFixedSize(ClientSize(window.tmpl->rect));
  top->move(window.tmpl->rect.left, window.tmpl->rect.top);
  View& view = views_[id];
  view.window = top;
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
    w->setGeometry(c.rect.left, c.rect.top, c.rect.width, c.rect.height);
    w->setVisible(c.visible);
    w->setEnabled(!c.disabled);
    ApplyOwn(c, w);
    view.controls[c.tmpl->id] = w;
  }
  updating_ = false;
  top->show();
  return true;
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
      if (c.tmpl->link) {
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
      auto* button = new QPushButton(parent);
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
