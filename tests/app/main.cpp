// Runs the window tests on the offscreen platform with a 1280 x 1024 screen.
#include "application.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // AOSHU_TEST_SCREEN names another screen file (a finer screen that,
    // with QT_SCALE_FACTOR, is 1280 x 1024 in the window's units).
    const QByteArray screen = qEnvironmentVariableIsSet("AOSHU_TEST_SCREEN") ? qgetenv("AOSHU_TEST_SCREEN")
                                                                              : QByteArray(SCREEN_CONFIG);
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screen);
    const QByteArray runtime = QDir::tempPath().toUtf8() + "/aoshu-test-runtime";
    QDir().mkpath(QString::fromUtf8(runtime));
    QFile::setPermissions(QString::fromUtf8(runtime), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime);
    ui::Application app(argc, argv);
    ui::installFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
