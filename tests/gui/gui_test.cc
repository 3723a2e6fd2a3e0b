// The desktop program's windows on Qt's offscreen platform: geometry and
// captions read back from the widgets, every caption fitting its control,
// the hidden run buttons, the log's append, user clicks reaching the
// handlers, worker writes reaching the widgets, and PNG renderings of both
// pages and the find window under the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>
#include <thread>

#include "frame/bound_functions.h"
#include "frame/window_templates.h"
#include "gui/qt_widgets.h"
#include "gui/ui_qt.h"
#include "platform/file_system.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"
#include "shell/settings.h"

// Fontconfig keeps its configuration caches until the process ends; only its
// allocations are exempt from the leak check.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

using gui::QtBackend;
using rt::operator""_gbk;
namespace mw = frame::main_window;
namespace fw = frame::find_window;

QApplication& App() {
  static int argc = 1;
  static char name[] = "tiepic_gui_tests";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Stands in for the desktop: receives every address the program asks it to
// open, for the schemes it is registered for.
class DesktopStandIn : public QObject {
  Q_OBJECT

 public:
  explicit DesktopStandIn(std::initializer_list<const char*> schemes) {
    for (const char* scheme : schemes) {
      schemes_ << QString::fromLatin1(scheme);
      QDesktopServices::setUrlHandler(schemes_.back(), this, "Open");
    }
  }
  ~DesktopStandIn() override {
    for (const QString& scheme : schemes_) QDesktopServices::unsetUrlHandler(scheme);
  }

  QList<QUrl> opened;

 public slots:
  void Open(const QUrl& url) { opened << url; }

 private:
  QStringList schemes_;
};

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    folder_ = std::filesystem::path(::testing::TempDir()) / "tiepic_gui";
    std::filesystem::create_directories(folder_);
    backend_ = std::make_unique<QtBackend>();
    frame_ = std::make_unique<frame::Frame>(*backend_, folder_.string());
    shell_ = std::make_unique<shell::Shell>(*frame_);
    shell_->Start();
  }
  void TearDown() override {
    shell_.reset();
    frame_.reset();
    backend_.reset();
  }

  template <class W = QWidget>
  W* Get(frame::ControlRef ref) {
    W* w = qobject_cast<W*>(backend_->Widget(ref));
    EXPECT_NE(w, nullptr);
    return w;
  }

  void Save(QWidget* window, const char* name) {
    QApplication::processEvents();
    const std::string path = std::string(TIEPIC_BUILD_DIR) + "/" + name;
    EXPECT_TRUE(window->grab().save(QString::fromStdString(path))) << path;
  }

  std::filesystem::path folder_;
  std::unique_ptr<QtBackend> backend_;
  std::unique_ptr<frame::Frame> frame_;
  std::unique_ptr<shell::Shell> shell_;
};

// Returns the width a control offers its caption's single line, or -1 for
// controls without a caption of that kind.
int TextRoom(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->contentsRect().width();
  if (auto* group = qobject_cast<QGroupBox*>(w)) {
    // The title starts after the style's indent and must end as far before
    // the right edge.
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.lineWidth = 1;
    const QRect title =
        w->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, w);
    return w->width() - 2 * std::max(0, title.left());
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool box = qobject_cast<QCheckBox*>(w) != nullptr;
    return w->style()
        ->subElementRect(box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option,
                         w)
        .width();
  }
  return -1;
}

// Returns the names of the controls whose captions were measured.
std::vector<std::string> ExpectCaptionsFit(QtBackend& backend, const frame::WindowTemplate& tmpl) {
  std::vector<std::string> measured;
  for (const frame::ControlTemplate& c : tmpl.controls) {
    QWidget* w = backend.Widget({tmpl.id, c.id});
    EXPECT_NE(w, nullptr) << c.name;
    if (w == nullptr) continue;
    int room = TextRoom(w);
    if (room < 0 || c.caption.empty()) continue;
    const QFontMetrics metrics(w->font());
    const QString text = QString::fromStdString(rt::ToUtf8(c.caption)).remove('\r');
    if (text.contains('\n') || c.name == "标签6") continue;  // rules drawn with characters
    if (auto* label = qobject_cast<QLabel*>(w);
        label && c.rect.height >= 2 * metrics.height() && metrics.horizontalAdvance(text) > room) {
      // A tall label may wrap, as long as the wrapped text fits its height.
      EXPECT_LE(label->heightForWidth(c.rect.width), c.rect.height) << c.name;
      continue;
    }
    EXPECT_LE(metrics.horizontalAdvance(text), room) << c.name;
    EXPECT_LE(metrics.height(), c.rect.height) << c.name;
    measured.push_back(c.name);
  }
  return measured;
}

TEST_F(GuiTest, WindowsHaveTheirTemplatesGeometryAndCaptions) {
  QWidget* main = Get(mw::kWindow);
  EXPECT_EQ(main->size(), gui::ClientSize({50, 50, 936, 656}));
  EXPECT_EQ(main->pos(), QPoint(50, 50));
  EXPECT_EQ(Get(mw::编辑框_号码)->geometry(), QRect(126, 16, 408, 30));
  EXPECT_EQ(Get(mw::选择夹1)->geometry(), QRect(-2, 55, 923, 569));
  // Controls on a tab page use the tab control's own coordinates.
  QWidget* group = Get(mw::分组框3);
  EXPECT_EQ(group->mapTo(Get(mw::选择夹1), QPoint(0, 0)), QPoint(13, 134));
  EXPECT_EQ(Get(mw::超级列表框1)->geometry(), QRect(6, 41, 623, 339));
  EXPECT_EQ(Get<QPushButton>(mw::按钮_获取相册封面)->text(), U("1：获取"));
  EXPECT_EQ(Get<QGroupBox>(mw::分组框9)->title(), U("常用设置："));
  EXPECT_EQ(Get<QLabel>(mw::标签_banben)->text(), U("1.0"));
  auto* toolbar = Get<QToolBar>(mw::工具条1);
  EXPECT_EQ(toolbar->geometry(), QRect(0, 0, main->width(), 57));  // the full width
  QStringList actions;
  for (QAction* a : toolbar->actions()) {
    if (!a->isSeparator()) actions << a->text();
  }
  EXPECT_EQ(actions, (QStringList{U("获取与下载"), U("设置与客服"), U("问题反馈")}));

  auto* list = Get<QTreeWidget>(mw::超级列表框1);
  const char* titles[] = {"选择",     "序号",   "相册名称", "封面",
                          "图片数量", "相册ID", "相册问题", "相册密码"};
  const int widths[] = {60, 40, 120, 100, 70, 80, 80, 80};
  ASSERT_EQ(list->columnCount(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(list->headerItem()->text(i), U(titles[i]));
    EXPECT_EQ(list->columnWidth(i), widths[i]);
  }
  QWidget* top = main;
  EXPECT_TRUE(Get(mw::按钮_下载选中)->isVisibleTo(top));
  EXPECT_FALSE(Get(mw::按钮_暂停线程)->isVisibleTo(top));
  EXPECT_FALSE(Get(mw::按钮_继续下载)->isVisibleTo(top));
  EXPECT_FALSE(Get(mw::按钮_结束下载)->isVisibleTo(top));
  const std::vector<std::string> measured =
      ExpectCaptionsFit(*backend_, frame::MainWindowTemplate());
  for (const char* group : {"分组框9", "分组框10", "分组框11"}) {
    EXPECT_NE(std::find(measured.begin(), measured.end(), group), measured.end()) << group;
  }
}

TEST_F(GuiTest, RendersBothPagesAndTheFindWindow) {
  QWidget* main = Get(mw::kWindow);
  Save(main, "tiepic_page0.png");
  frame_->DispatchEvent(mw::工具条1, frame::EventKey::kToolbarClicked, mw::kToolbarSettings);
  EXPECT_EQ(static_cast<gui::TabControl*>(Get(mw::选择夹1))->current(), 1);
  EXPECT_TRUE(Get(mw::选择框_下载记录)->isVisible());
  Save(main, "tiepic_page1.png");

  frame_->DispatchEvent(mw::标签_查找, frame::EventKey::kLeftButtonDown);
  QWidget* find = Get(fw::kWindow);
  EXPECT_EQ(find->windowTitle(), U("查找功能："));
  EXPECT_EQ(find->size(), gui::ClientSize({0, 0, 348, 152}));
  EXPECT_EQ(Get(fw::按钮_查找下一个)->geometry(), QRect(281, 80, 57, 32));
  ExpectCaptionsFit(*backend_, frame::FindWindowTemplate());
  Save(find, "tiepic_find.png");
}

TEST_F(GuiTest, AppendScrollsTheLogToItsEndEvenWhenScrolledUp) {
  for (int i = 0; i < 200; ++i) frame_->AppendEditText(mw::编辑框_操作记录, {"一行\r\n"_gbk});
  auto* log = Get<QPlainTextEdit>(mw::编辑框_操作记录);
  QApplication::processEvents();
  log->verticalScrollBar()->setValue(0);
  log->moveCursor(QTextCursor::Start);
  frame_->AppendEditText(mw::编辑框_操作记录, {"最后\r\n"_gbk});
  QApplication::processEvents();
  EXPECT_GT(log->verticalScrollBar()->value(), 0);
  EXPECT_TRUE(log->viewport()->rect().contains(log->cursorRect()));
  EXPECT_EQ(log->textCursor().position(), log->document()->characterCount() - 1);
  EXPECT_TRUE(log->toPlainText().endsWith(U("一行\n最后\n")));
}

TEST_F(GuiTest, UserClicksReachTheHandlersAndTheModel) {
  Get<QCheckBox>(mw::选择框_文件名)->click();
  EXPECT_TRUE(frame_->IsChecked(mw::选择框_文件名));
  auto ini = platform::ReadWholeFile((folder_ / "配置.ini").string());
  ASSERT_TRUE(ini.has_value());
  EXPECT_NE(ini->find("描述做文件名=1"_gbk), std::string::npos);
  Get<QCheckBox>(mw::选择框_文件名)->click();  // back to unchecked for the next test

  Get<QToolBar>(mw::工具条1)->actions().at(2)->trigger();  // separators sit between
  EXPECT_EQ(frame_->Control(mw::选择夹1)->page, 1);

  const frame::ControlRef list = mw::超级列表框1;
  frame_->ListSetCell(list, frame_->ListAppendRow(list), 2, "相册"_gbk);
  frame_->ListSetTick(list, 0, frame::kTicked);
  QTreeWidgetItem* item = Get<QTreeWidget>(list)->topLevelItem(0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(2), U("相册"));
  EXPECT_EQ(item->checkState(0), Qt::Checked);
  item->setCheckState(0, Qt::Unchecked);  // as the user's click does
  EXPECT_EQ(frame_->ListGetTick(list, 0), frame::kUnticked);
  frame_->ListSetColumnWidth(list, 3, 0);
  EXPECT_TRUE(Get<QTreeWidget>(list)->isColumnHidden(3));
}

TEST_F(GuiTest, WorkerWritesReachTheWidgetsThroughTheEventLoop) {
  QString caption, log;
  int position = -1;
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      frame_->SetCaption(mw::标签_动态, "第"_gbk + std::to_string(i));
      frame_->AppendEditText(mw::编辑框_操作记录, {std::to_string(i), "\r\n"});
    }
    frame_->SetProgressMaximum(mw::进度条1, 50);
    frame_->SetProgressPosition(mw::进度条1, 25);
    // What the widgets show just before the window goes.
    frame_->Post([&] {
      caption = Get<QLabel>(mw::标签_动态)->text();
      log = Get<QPlainTextEdit>(mw::编辑框_操作记录)->toPlainText();
      position = Get<QProgressBar>(mw::进度条1)->value();
      frame_->CloseWindow(mw::kId);
    });
  });
  EXPECT_EQ(frame_->Run(), 0);
  worker.join();
  EXPECT_EQ(caption, U("第49"));
  EXPECT_TRUE(log.startsWith(U("0\n1\n2\n")));
  EXPECT_TRUE(log.endsWith(U("48\n49\n")));
  EXPECT_EQ(position, 25);
}

TEST_F(GuiTest, AProgressBarOfNoPicturesIsEmptyNotBusy) {
  // Qt draws a range of 0 .. 0 as a moving "busy" bar.
  auto* bar = Get<QProgressBar>(mw::进度条1);
  frame_->SetProgressMaximum(mw::进度条1, 0);
  frame_->SetProgressPosition(mw::进度条1, 0);
  EXPECT_LT(bar->minimum(), bar->maximum());
  EXPECT_EQ(bar->value(), bar->minimum());
  // A full bar of the last album, then an empty album.
  frame_->SetProgressMaximum(mw::进度条1, 5);
  frame_->SetProgressPosition(mw::进度条1, 5);
  EXPECT_EQ(bar->value(), bar->maximum());
  frame_->SetProgressMaximum(mw::进度条1, 0);
  EXPECT_LT(bar->minimum(), bar->maximum());
  EXPECT_EQ(bar->value(), bar->minimum());
  // The program still reads back the maximum it wrote.
  EXPECT_EQ(frame_->Control(mw::进度条1)->maximum, 0);
}

TEST_F(GuiTest, TheDesktopGetsFoldersAsLocalFilesAndMakersPagesAsWebAddresses) {
  DesktopStandIn desktop{"file", "http", "https", ""};  // "": an address without scheme
  std::filesystem::create_directories(folder_ / "图 片#1");
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  using ShellExecute = int(const rt::Text&, const rt::Text&, const rt::Text&, const rt::Text&, int);
  const int result = frame::CallPlatformFunction<ShellExecute>(
      frame::kShellExecuteA, rt::Text(), "图 片#1"_gbk, rt::Text(), rt::Text(), 1);
  std::filesystem::current_path(saved);
  EXPECT_GT(result, 32);
  // The maker's feedback page, from the toolbar.
  Get<QToolBar>(mw::工具条1)->actions().at(4)->trigger();
  QStringList seen;
  for (const QUrl& url : desktop.opened) seen << url.toString();
  ASSERT_EQ(desktop.opened.size(), 2) << seen.join(QLatin1Char(' ')).toStdString();
  EXPECT_TRUE(desktop.opened[0].isLocalFile()) << desktop.opened[0].toString().toStdString();
  EXPECT_EQ(desktop.opened[0].toLocalFile().toStdString(), (folder_ / "图 片#1").string());
  EXPECT_EQ(desktop.opened[1].toString().toStdString(),
            rt::ToUtf8(shell::FeedbackPage(shell::DefaultServiceAddresses().version_page)));
  EXPECT_TRUE(desktop.opened[1].scheme().startsWith(U("http")));
}

TEST_F(GuiTest, MessageBoxesShowCaptionIconAndButtonsAndReportThePressedOne) {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  auto press = [&](QMessageBox::StandardButton which) {
    QTimer::singleShot(0, [&, which] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = static_cast<int>(box->buttons().size());
      box->button(which)->click();
    });
  };
  press(QMessageBox::Cancel);
  EXPECT_EQ(
      frame_->ShowMessageBox(rt::Text("网址格式无法识别\r\n\r\n例"_gbk), frame::kButtonsOkCancel),
      1);
  EXPECT_EQ(title, U("信息："));
  EXPECT_EQ(text, U("网址格式无法识别\n\n例"));
  EXPECT_EQ(buttons, 2);
  press(QMessageBox::Ok);
  EXPECT_EQ(frame_->ShowMessageBox(rt::Text("x"), frame::kIconStop, "错误"_gbk), 0);
  EXPECT_EQ(title, U("错误"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, 1);
}

TEST_F(GuiTest, LabelsAndMessageBoxesShowMarkupLiterally) {
  // Texts from the network may look like markup; an image tag there would
  // make the widget read a file.
  const rt::Text markup = "<b>x</b><img src=\"/dev/zero\">";
  frame_->SetCaption(mw::标签_动态, markup);
  auto* label = Get<QLabel>(mw::标签_动态);
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->text(), U("<b>x</b><img src=\"/dev/zero\">"));

  Qt::TextFormat format = Qt::AutoText;
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    format = box->textFormat();
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(frame_->ShowMessageBox(rt::Text("<b>x</b>")), 0);
  EXPECT_EQ(format, Qt::PlainText);
  EXPECT_EQ(text, U("<b>x</b>"));
}

TEST_F(GuiTest, AWindowClosedOutsideTheLoopGoesOnlyAfterItsCloseEvent) {
  frame_->LoadWindow(frame::FindWindowTemplate());
  QPointer<QWidget> find = Get(fw::kWindow);
  ASSERT_FALSE(find.isNull());
  // The user's close: the frame destroys the view from inside its close event.
  find->close();
  EXPECT_FALSE(frame_->IsLoaded(fw::kId));
  ASSERT_FALSE(find.isNull());
  EXPECT_TRUE(find->isHidden());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(find.isNull());
}

using GuiDeathTest = GuiTest;

TEST_F(GuiDeathTest, FatalReportIsAStopBoxCaptionedErrorAndEndsWith255) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto fail = [this] {
    QTimer::singleShot(0, [] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      fprintf(stderr, "title=%s critical=%d text=%s|\n", box->windowTitle().toStdString().c_str(),
              box->icon() == QMessageBox::Critical, box->text().toStdString().c_str());
      box->button(QMessageBox::Ok)->click();
    });
    frame_->ReadProperty(frame::find_window::编辑框1,
                         frame::kText);  // the find window is not loaded
  };
  EXPECT_EXIT(
      fail(), ::testing::ExitedWithCode(255),
      "title=错误 critical=1 text=运行时出错!\n\n错误信息：未载入欲访问窗口组件所在的窗口\n\\|");
}

}  // namespace

#include "gui_test.moc"
