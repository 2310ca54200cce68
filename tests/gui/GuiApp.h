#pragma once
// The one QApplication of the widget tests, created by the first test that needs it (or by a
// main that made one before).
#include <QApplication>

namespace guitest {

inline QApplication& App() {
    if (qApp == nullptr) {
        static int argc = 1;
        static char name[] = "test_gui";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv); // lives as long as the process
    }
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

} // namespace guitest
