// The main window as a desktop user meets it (Qt's offscreen platform): it
// grows, and only the album list and the log take the room; Qt's own
// dialogs speak Chinese, and Cancel in the folder dialog changes nothing;
// Enter presses the button an edit box or a focused button stands for, and
// Escape closes the find window; a cut album name shows its whole text as
// a tooltip, and the find window opens beside the list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "frame/frame.h"
#include "frame/window_templates.h"
#include "gui/ui_qt.h"
#include "gui_test_app.h"
#include "platform/file_system.h"
#include "runtime/gbk.h"
#include "shell/main_window.h"
#include "support/temp_dir.h"

namespace {

namespace mw = frame::main_window;
namespace fw = frame::find_window;
using rt::operator""_gbk;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Runs `answer` on the next modal dialog of type D once it is open (trying
// every 20 ms, for at most 10 s).
template <class D>
void WhenOpen(std::function<void(D*)> answer, int tries_left = 500) {
  QTimer::singleShot(20, [=] {
    if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
      answer(dialog);
    } else if (tries_left > 0) {
      WhenOpen<D>(answer, tries_left - 1);
    }
  });
}

void Key(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

class DesktopUse : public ::testing::Test {
 protected:
  DesktopUse() { shell_.Start(); }

  QWidget* W(frame::ControlRef ref) const { return backend_.Widget(ref); }
  QRect Geometry(frame::ControlRef ref) const { return W(ref)->geometry(); }

  bool app_ = (TheApp(), true);  // before the back end, which translates it
  testing_support::TempDir folder_;
  gui::QtBackend backend_;
  frame::Frame frame_{backend_, folder_.path().string()};
  shell::Shell shell_{frame_};
};

TEST_F(DesktopUse, TheWindowGrowsIntoTheListAndTheLogAndNeverBelowItsDefault) {
  QWidget* main = W(mw::kWindow);
  const QSize base = gui::ClientSize({50, 50, 936, 656});
  ASSERT_EQ(main->size(), base);
  EXPECT_LT(main->minimumSize().width(), main->maximumSize().width());  // maximise works
  auto* list = qobject_cast<QTreeWidget*>(W(mw::超级列表框1));
  const int name_width = list->columnWidth(mw::kColumnName);
  struct Case {
    frame::ControlRef control;
    const char* name;
    QRect change;  // left, top, width and height added at 300 × 200 more
  } cases[] = {
      {mw::超级列表框1, "list", {0, 0, 150, 200}},
      {mw::分组框1, "log group", {150, 0, 150, 200}},
      {mw::编辑框_操作记录, "log", {0, 0, 150, 200}},
      {mw::分组框3, "list group", {0, 0, 300, 200}},
      {mw::选择夹1, "tabs", {0, 0, 300, 200}},
      {mw::进度条1, "bar", {0, 200, 0, 0}},
      {mw::标签_第多少张照片, "picture label", {0, 200, 0, 0}},
      {mw::编辑框_号码, "address", {}},
      {mw::按钮_获取相册封面, "fetch", {}},
      {mw::按钮_下载选中, "download", {}},
      {mw::编辑框_保存位置, "folder", {}},
      {mw::按钮_打开目录, "open folder", {}},
      {mw::选择框_全选, "select all", {}},
      {mw::标签_查找, "find", {}},
      {mw::标签3, "log title", {}},
      {mw::分组框9, "settings", {}},
  };
  std::vector<QRect> before;
  for (const Case& c : cases) before.push_back(Geometry(c.control));
  main->resize(base + QSize(300, 200));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const QRect& b = before[i];
    const QRect& d = cases[i].change;
    EXPECT_EQ(Geometry(cases[i].control), QRect(b.left() + d.left(), b.top() + d.top(),
                                                b.width() + d.width(), b.height() + d.height()))
        << cases[i].name;
  }
  EXPECT_EQ(list->columnWidth(mw::kColumnName), name_width + 150);  // the name column first

  // Back to the default: everything where the template puts it; smaller
  // is not allowed.
  main->resize(base);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Geometry(cases[i].control), before[i]) << cases[i].name;
  }
  EXPECT_EQ(list->columnWidth(mw::kColumnName), name_width);
  main->resize(base - QSize(200, 100));
  EXPECT_EQ(main->size(), base);
}

TEST_F(DesktopUse, QtsDialogsSpeakChineseAndCancelInTheFolderDialogChangesNothing) {
  QStringList buttons;
  WhenOpen<QMessageBox>([&](QMessageBox* box) {
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    box->button(QMessageBox::Cancel)->click();
  });
  EXPECT_EQ(
      frame_.ShowMessageBox("您真的要彻底结束下载么？"_gbk, frame::kButtonsOkCancel, "警告！"_gbk),
      1);
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{U("取消"), U("确定")}));

  // The folder dialog opens on the save folder; Cancel keeps it, shown and
  // stored.
  const std::filesystem::path kept = folder_.path() / "相册";
  std::filesystem::create_directories(kept);
  frame_.SetText(mw::编辑框_保存位置, rt::FromUtf8(kept.string()));
  QString title, cancel, start;
  WhenOpen<QFileDialog>([&](QFileDialog* dialog) {
    title = dialog->windowTitle();
    start = dialog->directory().absolutePath();
    if (auto* box = dialog->findChild<QDialogButtonBox*>()) {
      if (QPushButton* b = box->button(QDialogButtonBox::Cancel)) cancel = b->text();
    }
    dialog->reject();
  });
  qobject_cast<QPushButton*>(W(mw::按钮_选择位置))->click();
  EXPECT_EQ(title, U("选择相册的存放位置"));
  EXPECT_EQ(start.toStdString(), kept.string());
  EXPECT_EQ(cancel, U("取消"));
  EXPECT_EQ(qobject_cast<QLineEdit*>(W(mw::编辑框_保存位置))->text().toStdString(), kept.string());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "配置.ini"));
}

TEST_F(DesktopUse, EnterPressesTheButtonOfAnEditBoxOrAFocusedButtonAndEscapeClosesTheFindWindow) {
  std::vector<std::string> ran;
  shell::Hooks& hooks = shell_.hooks();
  hooks.find_albums = [&] { ran.push_back("fetch"); };
  hooks.start_download = [&] { ran.push_back("download"); };
  hooks.find_next = [&] { ran.push_back("next"); };
  hooks.find_from_top = [&] { ran.push_back("top"); };
  frame_.DispatchEvent(mw::标签_查找, frame::EventKey::kLeftButtonDown);
  struct Case {
    frame::ControlRef target;
    int key;
    std::vector<std::string> ran;
  } cases[] = {
      {mw::编辑框_号码, Qt::Key_Return, {"fetch"}},
      {mw::编辑框_号码, Qt::Key_Enter, {"fetch"}},  // the keypad's
      {mw::编辑框_保存位置, Qt::Key_Return, {}},
      {mw::按钮_下载选中, Qt::Key_Return, {"download"}},
      {mw::按钮_获取相册封面, Qt::Key_Space, {}},  // Space clicks on release
      {fw::编辑框1, Qt::Key_Return, {"next"}},
      {fw::按钮_查找, Qt::Key_Enter, {"top"}},
      {mw::编辑框_号码, Qt::Key_Escape, {}},  // the main window stays
  };
  for (const Case& c : cases) {
    ran.clear();
    Key(W(c.target), c.key);
    EXPECT_EQ(ran, c.ran) << frame_.Control(c.target)->tmpl->name << " " << c.key;
  }
  EXPECT_TRUE(frame_.IsLoaded(mw::kId));
  // A hidden button is not pressed from its edit box.
  frame_.SetVisible(mw::按钮_获取相册封面, false);
  ran.clear();
  Key(W(mw::编辑框_号码), Qt::Key_Return);
  EXPECT_TRUE(ran.empty());

  ASSERT_TRUE(frame_.IsLoaded(fw::kId));
  Key(W(fw::编辑框1), Qt::Key_Escape);
  EXPECT_FALSE(frame_.IsLoaded(fw::kId));
  EXPECT_TRUE(frame_.IsLoaded(mw::kId));
}

TEST_F(DesktopUse, ACutNameShowsItsWholeTextAndTheFindWindowOpensBesideTheList) {
  const frame::ControlRef list = mw::超级列表框1;
  const rt::Text long_name = "春日散步的照片与很长很长很长很长很长很长的相册名称"_gbk;
  for (const rt::Text& name : {long_name, "短"_gbk}) {
    frame_.ListSetCell(list, frame_.ListAppendRow(list), mw::kColumnName, name);
  }
  auto* view = qobject_cast<QTreeWidget*>(W(list));
  QApplication::processEvents();
  auto tip_over = [&](int row) {
    const QRect cell = view->visualRect(view->model()->index(row, mw::kColumnName));
    QHelpEvent help(QEvent::ToolTip, cell.center(), view->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(view->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tip_over(1), QString());  // a name that fits has none
  EXPECT_EQ(tip_over(0).toStdString(), rt::ToUtf8(long_name));

  EXPECT_EQ(W(mw::标签_查找)->cursor().shape(), Qt::PointingHandCursor);
  frame_.DispatchEvent(mw::标签_查找, frame::EventKey::kLeftButtonDown);
  // On the list's right, level with its top; on a small screen it may cover
  // the list's right part, never the names.
  QWidget* find = W(fw::kWindow);
  const QHeaderView* header = view->header();
  const int names_right =
      header->sectionViewportPosition(mw::kColumnName) + header->sectionSize(mw::kColumnName);
  EXPECT_GE(find->frameGeometry().left(),
            view->viewport()->mapToGlobal(QPoint(names_right, 0)).x());
  EXPECT_EQ(find->frameGeometry().top(), view->mapToGlobal(QPoint(0, 0)).y());
}

}  // namespace
