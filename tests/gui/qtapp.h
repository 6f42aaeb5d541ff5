// Widget tests of src/settings: one QApplication for the whole test program,
// the C locale (fixed date and time separators), readable QString failures.
#pragma once

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace ormix::testing {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("LC_ALL", "C");
        static int argc = 1;
        static char name[] = "settings_widget_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_ = nullptr;
};

inline const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace ormix::testing
