// Entry of the shell's widget tests: one application object for all tests,
// the program's own (so exceptions reach the general error report).
#include "gui/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ormix::OrmixApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
