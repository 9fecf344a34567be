// Widget tests need one QApplication for the whole run; offscreen and with SDL's silent dummy
// audio device unless the caller chose, and in Simplified Chinese, the texts the tests compare.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("LANGUAGE", "zh_CN", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
