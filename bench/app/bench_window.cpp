#include "bench_window.h"

#include "application.h"
#include "controls.h"
#include "gbk.h"
#include "text.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

namespace bench {
namespace {

std::string& failure() {
    static std::string f;
    return f;
}

void fail(std::string what) {
    if (failure().empty()) failure() = std::move(what);
}

}  // namespace

struct Environment::App {
    ui::Application application;
    App(int& argc, char** argv) : application(argc, argv) {}
};

Environment::Environment(int& argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" SCREEN_CONFIG);
    const QByteArray runtime = QDir::tempPath().toUtf8() + "/aoshu-bench-runtime";
    QDir().mkpath(QString::fromUtf8(runtime));
    QFile::setPermissions(QString::fromUtf8(runtime), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime);
    app_ = std::make_unique<App>(argc, argv);
    ui::installFontSubstitutions();

    ui::Services& s = ui::services();
    s.messageBox = [](const std::string& text, const std::string&) { fail("message box: " + gbk::toUtf8(text)); };
    s.showError = [](const std::string& message) { fail("error box: " + message); };
    s.pause = [](int) {};
    s.terminate = [](int status) { throw ui::Terminated{status}; };
}

Environment::~Environment() {
    settle();
    ui::services() = {};
}

std::string takeFailure() {
    std::string f;
    f.swap(failure());
    return f;
}

DatabaseCopy::DatabaseCopy() {
    if (!dir_.isValid()) throw std::runtime_error("no temporary directory");
    QDir(dir_.path()).mkpath("dat");
    programDir_ = dir_.path().toStdString();
    path_ = programDir_ + "/dat/kelvma.dat";
    refresh();
}

void DatabaseCopy::refresh() {
    const QString target = QString::fromStdString(path_);
    QFile::remove(target);
    if (!QFile::copy(QStringLiteral(BUNDLED_DATABASE), target))
        throw std::runtime_error("cannot copy " BUNDLED_DATABASE);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    // On disk before any benchmark starts, so the first commit of a timed
    // run does not also write back the whole copy.
    const int fd = ::open(path_.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

Program::Program(const DatabaseCopy& db) {
    datam_ = std::make_unique<data::Tdatam>();
    datam_->programDir = db.programDir();
    form_ = std::make_unique<TmainForm>(*datam_);
    form_->Timer2.blockSignals(true);  // the benchmark ticks the timer itself
    datam_->DataModuleCreate();
    datam_->showNotice = [this](const std::string& text) {
        fail("notice: " + gbk::toUtf8(text));
        form_->ShowNotice(text);
    };
}

Program::~Program() {
    form_.reset();
    datam_.reset();
    settle();
}

void Program::show() {
    form_->show();
    settle();
}

void Program::tick() {
    form_->Timer2Timer();
    settle();
}

void Program::untilThirdTick() {
    show();
    tick();
    tick();
}

void Program::start() {
    untilThirdTick();
    tick();
}

void Program::chooseGrade(int grade) {
    form_->c1->setItemIndex(grade);
    form_->c1Change();
    form_->c2->setItemIndex(0);
    form_->c2Change();
    settle();
}

void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    const std::string key = std::string(field) + ":";
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
    return -1;
}

bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

std::vector<std::vector<unsigned char>> drawnPictures(const std::string& dbPath, const std::vector<int>& questions) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + dbPath);
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "select zd12 from b1 where zd1 = ? and zd11 = 1", -1, &st, nullptr);
    std::vector<std::vector<unsigned char>> pictures;
    for (int id : questions) {
        sqlite3_bind_int(st, 1, id);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(st, 0));
            pictures.emplace_back(bytes, bytes + sqlite3_column_bytes(st, 0));
        }
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return pictures;
}

std::string gradeName(TmainForm& form, int grade) { return gbk::toUtf8(form.c1->item(grade)); }

int runBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Environment environment(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace bench
