// The one QApplication of the GUI tests, on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.
#ifndef TIEPIC_TESTS_GUI_GUI_TEST_APP_H_
#define TIEPIC_TESTS_GUI_GUI_TEST_APP_H_

#include <QApplication>

inline QApplication& TheApp() {
  static int argc = 1;
  static char name[] = "tiepic_gui_tests";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

#endif  // TIEPIC_TESTS_GUI_GUI_TEST_APP_H_
