// The GUI tests' main: an application on Qt's offscreen platform (unless
// told otherwise), with the windows' font.
#include <gtest/gtest.h>

#include <QApplication>

#include "shell/window_fonts.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    loadWindowFonts();
    return RUN_ALL_TESTS();
}
