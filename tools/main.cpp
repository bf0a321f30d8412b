// contentbuilder: builds the database file from content/, renders one SVG
// picture (window artwork) to a JPEG or BMP file or a menu icon to PNG, or
// imports a Jet 4.0 file.
#include "builder.h"
#include "content_reader.h"
#include "near_duplicates.h"
#include "database_writer.h"
#include "jet_convert.h"
#include "upgrade.h"

#include <QGuiApplication>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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
                 "       contentbuilder --icon INPUT.svg SIDE OUTPUT.png\n"
                 "       contentbuilder import-jet INPUT.mdb OUTPUT.dat\n"
                 "       contentbuilder upgrade OLD.dat NEW.dat OUTPUT.dat\n"
                 "       contentbuilder --near-duplicates CONTENT_DIR\n";
    return 2;
}

// Converts a Jet 4.0 file with the program's password into a database file,
// with the checks of the program's own conversion at start-up.  The output
// is written under a temporary name and renamed over out when complete.
int importJet(const std::string& in, const std::string& out) {
    namespace fs = std::filesystem;
    const fs::path target(out);
    const fs::path temporary =
        target.parent_path() / (target.filename().string() + ".tmp-" + std::to_string(getpid()));
    std::error_code ignored;
    try {
        if (!target.parent_path().empty()) fs::create_directories(target.parent_path());
        fs::remove(temporary, ignored);
        data::JetConversion conversion = data::convertJetFile(in, temporary.string(), content::kDatabasePassword);
        fs::rename(temporary, target);
        long long total = 0;
        for (const auto& t : conversion.tables) {
            std::cout << t.table << ": " << t.rows << (t.rows == 1 ? " row\n" : " rows\n");
            total += t.rows;
        }
        std::cout << "contentbuilder: imported " << in << " into " << out << " (" << conversion.tables.size()
                  << " tables, " << total << " rows)\n";
        return 0;
    } catch (const std::exception& e) {
        fs::remove(temporary, ignored);
        std::cerr << e.what() << "\ncontentbuilder: " << out << " not written\n";
        return 1;
    }
}

// Carries the pupil's record of old into a copy of the newer content fresh,
// written to out (which may be old itself), as the program does at
// start-up; a file already at out is kept as out.old.
int upgrade(const std::string& old, const std::string& fresh, const std::string& out) {
    try {
        const data::upgrade::MergeCounts n = data::upgrade::mergeRecord(fresh, old, out, content::kDatabasePassword);
        std::cout << "contentbuilder: merged the record of " << old << " into the content of " << fresh << ": "
                  << out << " (" << n.questions << " questions, " << n.keptQuestions
                  << " kept for the last homework's report, " << n.gradings << " gradings, " << n.answers
                  << " answers)\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\ncontentbuilder: " << out << " left as it was\n";
        return 1;
    }
}

// Lists the near-duplicate questions not yet accepted; status 1 when any.
int listNearDuplicates(const std::string& dir) {
    content::Problems problems;
    content::Content c = content::readContent(dir, problems);
    for (const auto& p : problems)
        std::cerr << p << "\n";
    auto warnings = content::nearDuplicateWarnings(c, dir);
    for (const auto& w : warnings)
        std::cout << w << "\n";
    std::cout << "contentbuilder: " << warnings.size() << " near-duplicate pairs\n";
    return warnings.empty() && problems.empty() ? 0 : 1;
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
    if (argc == 3 && std::string(argv[1]) == "--near-duplicates")
        return listNearDuplicates(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "import-jet")
        return importJet(argv[2], argv[3]);
    if (argc == 5 && std::string(argv[1]) == "upgrade")
        return upgrade(argv[2], argv[3], argv[4]);
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
    std::vector<std::string> warnings;
    content::Problems problems = content::buildDatabase(argv[1], argv[2], &warnings);
    for (const auto& w : warnings)
        std::cerr << w << "\n";
    if (problems.empty())
        return 0;
    for (const auto& p : problems)
        std::cerr << p << "\n";
    std::cerr << "contentbuilder: " << problems.size() << (problems.size() == 1 ? " problem" : " problems")
              << ", " << argv[2] << " not written\n";
    return 1;
}
