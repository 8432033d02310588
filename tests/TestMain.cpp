#include <QApplication>
#include <gtest/gtest.h>

// Every test runs with a Qt application, so window and canvas tests can share one main.
int main(int argc, char** argv) {
    // Headless unless told otherwise: no window reaches a screen, no sound a speaker.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (qgetenv("SDL_AUDIODRIVER").isEmpty()) qputenv("SDL_AUDIODRIVER", "dummy");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
