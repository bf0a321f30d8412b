#include "form_fixture.h"

#include <QFile>
#include <sqlite3.h>

#include <stdexcept>

namespace {

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
        sqlite3_busy_timeout(db, 2000);
    }
    ~Db() { sqlite3_close(db); }
};

struct Stmt {
    sqlite3_stmt* st = nullptr;
    Stmt(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("bad test statement: ") + sqlite3_errmsg(db));
    }
    ~Stmt() { sqlite3_finalize(st); }
};

}  // namespace

void ProgramTest::SetUp() {
    ui::Services& s = ui::services();
    s.messageBox = [this](const std::string& text, const std::string& caption) {
        messageBoxes.emplace_back(gbk::toUtf8(text), gbk::toUtf8(caption));
    };
    s.showError = [this](const std::string& message) { errors.push_back(message); };
    s.pause = [this](int ms) { pauses.push_back(ms); };
    s.terminate = [](int status) { throw ui::Terminated{status}; };
    freshDatabase();
}

void ProgramTest::freshDatabase() {
    form.reset();
    datam.reset();
    messageBoxes.clear();
    errors.clear();
    pauses.clear();
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("dat"));
    dbPath = (dir.path() + "/dat/kelvma.dat").toStdString();
    const QString path = QString::fromStdString(dbPath);
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(databaseToCopy()), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void ProgramTest::TearDown() {
    form.reset();
    datam.reset();
    ui::services() = {};
}

void ProgramTest::create() {
    datam = std::make_unique<data::Tdatam>();
    datam->programDir = dir.path().toStdString();
    form = std::make_unique<TmainForm>(*datam);
    // The timer never fires by itself here: tests tick it by calling the handler.
    form->Timer2.blockSignals(true);
    datam->DataModuleCreate();
    datam->showNotice = [this](const std::string& text) { form->ShowNotice(text); };
}

void ProgramTest::start() {
    create();
    form->show();
    tick(3);
}

void ProgramTest::tick(int times) {
    for (int i = 0; i < times; ++i) handle([this] { form->Timer2Timer(); });
}

void ProgramTest::handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const ui::Terminated&) {
        throw;
    } catch (const std::exception& e) {
        ui::showError(e);
    }
}

void ProgramTest::dbExec(const std::string& utf8Sql) {
    Db db(dbPath);
    char* error = nullptr;
    if (sqlite3_exec(db.db, utf8Sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error("test statement failed: " + message);
    }
}

long long ProgramTest::dbInt(const std::string& utf8Sql) {
    Db db(dbPath);
    Stmt st(db.db, utf8Sql);
    return sqlite3_step(st.st) == SQLITE_ROW ? sqlite3_column_int64(st.st, 0) : -999;
}

std::string ProgramTest::dbText(const std::string& utf8Sql) {
    Db db(dbPath);
    Stmt st(db.db, utf8Sql);
    if (sqlite3_step(st.st) != SQLITE_ROW || sqlite3_column_type(st.st, 0) == SQLITE_NULL) return "<null>";
    return reinterpret_cast<const char*>(sqlite3_column_text(st.st, 0));
}
