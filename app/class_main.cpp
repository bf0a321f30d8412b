// aoshu-class: the class server's command line for a school's administrator
// and its teachers (classroom/class_command.h).  Only the PDF report needs
// Qt's drawing, and it draws off screen: no display is needed.
#include "class_command.h"
#include "text.h"

#include <QGuiApplication>

#include <algorithm>
#include <iostream>
#include <memory>

namespace {

// Qt's notes about the desktop session (no XDG_RUNTIME_DIR for a command run
// from cron or ssh) say nothing to the administrator; warnings about the
// drawing itself still show.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg || message.startsWith(QStringLiteral("QStandardPaths:"))) return;
    std::cerr << message.toStdString() << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::unique_ptr<QGuiApplication> app;
    if (std::find(args.begin(), args.end(), "--pdf") != args.end()) {
        qInstallMessageHandler(quietHandler);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        ui::installFontSubstitutions();
    }
    return classroom::RunCommand(args, std::cout, std::cerr);
}
