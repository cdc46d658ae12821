// The desktop tests run in one QApplication on the offscreen platform unless told
// otherwise (QT_QPA_PLATFORM), so that no display is needed.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtDebugMsg || text.startsWith("This plugin does not support") ||
            text.startsWith("QStandardPaths:"))
            return;
        std::fprintf(stderr, "qt: %s\n", text.toLocal8Bit().constData());
    });
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
