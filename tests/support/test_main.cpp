#include <QApplication>
#include <gtest/gtest.h>

// Every test program has a QApplication on the main thread, so widgets and ui::sendToUi work
// under the offscreen platform.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
