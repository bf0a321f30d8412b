// contentbuilder: builds the database file from content/, or renders one
// SVG picture (window artwork) to a JPEG or BMP file, or a menu icon to PNG.
#include "builder.h"

#include <QGuiApplication>

#include <cstdlib>
#include <iostream>
#include <string>

namespace {

// Qt's notice about a missing XDG_RUNTIME_DIR says nothing about the build.
void printMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (!text.startsWith(QLatin1String("QStandardPaths:")))
        std::cerr << text.toStdString() << "\n";
}

int usage() {
    std::cerr << "usage: contentbuilder CONTENT_DIR OUTPUT.dat\n"
                 "       contentbuilder --render INPUT.svg OUTPUT.jpg|OUTPUT.bmp\n"
                 "       contentbuilder --icon INPUT.svg SIDE OUTPUT.png\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Text is drawn through Qt's font system, which needs a platform; no
    // window is ever shown.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qInstallMessageHandler(printMessage);
    QGuiApplication app(argc, argv);
    if (argc < 3 || argc > 5)
        return usage();
    if (argc >= 4) {
        std::string problem;
        const std::string mode = argv[1];
        if (argc == 4 && mode == "--render")
            problem = content::renderPicture(argv[2], argv[3]);
        else if (argc == 5 && mode == "--icon")
            problem = content::renderIcon(argv[2], std::atoi(argv[3]), argv[4]);
        else
            return usage();
        if (problem.empty())
            return 0;
        std::cerr << problem << "\n";
        return 1;
    }
    content::Problems problems = content::buildDatabase(argv[1], argv[2]);
    if (problems.empty())
        return 0;
    for (const auto& p : problems)
        std::cerr << p << "\n";
    std::cerr << "contentbuilder: " << problems.size() << (problems.size() == 1 ? " problem" : " problems")
              << ", " << argv[2] << " not written\n";
    return 1;
}
