#include <QApplication>
#include <gtest/gtest.h>

// Every test runs with a Qt application, so window and canvas tests can share one main.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
