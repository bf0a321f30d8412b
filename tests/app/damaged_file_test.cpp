// A fixed set of damaged database files, made here from the seed database
// (scripts/damage-test.sh runs hundreds of random ones on the real program).
// Each start must end at the start screen or with the database error box and
// the end of the program, and a rejected file must be left as it was.
#include "form_fixture.h"

#include <QCryptographicHash>
#include <QFile>

#include <random>

namespace {

enum class Outcome { Rejected, Either };

QByteArray fileBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void truncateTo(ProgramTest& t, qint64 length) {
    QFile f(QString::fromStdString(t.dbPath));
    ASSERT_TRUE(f.resize(length));
}

// XORs the bytes at the offsets with 0x5A (offsets past the end are skipped).
void flip(ProgramTest& t, std::initializer_list<qint64> offsets) {
    QByteArray bytes = fileBytes(t.dbPath);
    for (qint64 at : offsets)
        if (at < bytes.size()) bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    writeBytes(t.dbPath, bytes);
}

// Random bytes over a whole page (1-based), from a fixed seed.
void scramblePage(ProgramTest& t, int page, unsigned seed) {
    QByteArray bytes = fileBytes(t.dbPath);
    std::mt19937 random(seed);
    for (qint64 i = 0; i < 4096 && (page - 1) * 4096 + i < bytes.size(); ++i)
        if (random() % 4 == 0) bytes[(page - 1) * 4096 + i] = static_cast<char>(random());
    writeBytes(t.dbPath, bytes);
}

// Flips bytes inside the stored picture of a question, where it lies in the file.
void damagePicture(ProgramTest& t, int question) {
    const std::string hex = t.dbText("select hex(substr(zd12, 1, 48)) from b1 where zd1=" + std::to_string(question));
    QByteArray bytes = fileBytes(t.dbPath);
    const qsizetype at = bytes.indexOf(QByteArray::fromHex(QByteArray::fromStdString(hex)));
    ASSERT_GE(at, 0);
    for (qsizetype i : {20, 200, 700, 1500})
        if (at + i < bytes.size()) bytes[at + i] = static_cast<char>(bytes[at + i] ^ 0xA5);
    writeBytes(t.dbPath, bytes);
}

}  // namespace

TEST_F(ProgramTest, ADamagedFileEndsAtTheStartScreenOrInTheDatabaseErrorBox) {
    const struct {
        const char* what;
        std::function<void(ProgramTest&)> damage;
        Outcome outcome;
    } cases[] = {
        {"empty", [](ProgramTest& t) { truncateTo(t, 0); }, Outcome::Rejected},
        {"cut in the header", [](ProgramTest& t) { truncateTo(t, 60); }, Outcome::Rejected},
        {"cut after page 1", [](ProgramTest& t) { truncateTo(t, 4096); }, Outcome::Rejected},
        {"cut in half", [](ProgramTest& t) { truncateTo(t, QFile(QString::fromStdString(t.dbPath)).size() / 2); },
         Outcome::Rejected},
        {"last page cut", [](ProgramTest& t) { truncateTo(t, QFile(QString::fromStdString(t.dbPath)).size() - 1000); },
         Outcome::Either},
        {"magic text", [](ProgramTest& t) { flip(t, {0, 5}); }, Outcome::Rejected},
        {"page size", [](ProgramTest& t) { flip(t, {16, 17}); }, Outcome::Rejected},
        {"format bytes", [](ProgramTest& t) { flip(t, {18, 19, 20}); }, Outcome::Either},
        {"page count and freelist", [](ProgramTest& t) { flip(t, {28, 29, 32, 36}); }, Outcome::Either},
        {"schema cookie and encoding", [](ProgramTest& t) { flip(t, {40, 56, 57}); }, Outcome::Either},
        {"page 1 body", [](ProgramTest& t) { flip(t, {100, 101, 105, 2000, 4000}); }, Outcome::Either},
        {"page 2 garbage", [](ProgramTest& t) { scramblePage(t, 2, 1); }, Outcome::Either},
        {"page 4 garbage", [](ProgramTest& t) { scramblePage(t, 4, 2); }, Outcome::Either},
        {"last page garbage",
         [](ProgramTest& t) { scramblePage(t, static_cast<int>(QFile(QString::fromStdString(t.dbPath)).size() / 4096), 3); },
         Outcome::Either},
        {"inside a picture", [](ProgramTest& t) { damagePicture(t, 3003); }, Outcome::Either},
        {"wrong password digest",
         [](ProgramTest& t) { t.dbExec("update dbinfo set value=lower(hex(randomblob(32))) where name='password-sha256'"); },
         Outcome::Rejected},
        {"no dbinfo", [](ProgramTest& t) { t.dbExec("drop table dbinfo"); }, Outcome::Rejected},
        {"no b3", [](ProgramTest& t) { t.dbExec("drop view v_b; drop table b3"); }, Outcome::Rejected},
        {"no b5", [](ProgramTest& t) { t.dbExec("drop table b5"); }, Outcome::Rejected},
        {"no v_b", [](ProgramTest& t) { t.dbExec("drop view v_b"); }, Outcome::Rejected},
        {"no column b2.zd5", [](ProgramTest& t) { t.dbExec("alter table b2 drop column zd5"); }, Outcome::Rejected},
        {"b1 is a view",
         [](ProgramTest& t) {
             t.dbExec("drop view v_b; alter table b1 rename to q; create view b1 as select * from q");
         },
         Outcome::Rejected},
        {"b3.zd3 declared REAL",
         [](ProgramTest& t) {
             t.dbExec("drop view v_b; alter table b3 rename to old;"
                      "create table b3 (zd1 INTEGER PRIMARY KEY, zd2 INTEGER, zd3 REAL, zd4 TEXT, zd5 INTEGER, zd6 INTEGER);"
                      "insert into b3 select * from old; drop table old");
         },
         Outcome::Rejected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        freshDatabase();
        c.damage(*this);
        const QByteArray before = QCryptographicHash::hash(fileBytes(dbPath), QCryptographicHash::Sha256);
        create();
        form->show();
        tick(2);
        const int status = endsWith([this] { tick(); });
        if (status == -1) {
            // The start screen, and nothing went wrong on the way.
            EXPECT_EQ(c.outcome, Outcome::Either) << "the damaged file was accepted";
            EXPECT_TRUE(messageBoxes.empty());
            EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
            EXPECT_EQ(u8(form->BT1->caption()), "开始作业");
            EXPECT_TRUE(form->BT2->isVisible());
        } else {
            EXPECT_EQ(status, 1);
            ASSERT_EQ(messageBoxes.size(), 1u);
            EXPECT_TRUE(messageBoxes[0].first.starts_with("数据库出错，请重新安装！")) << messageBoxes[0].first;
            EXPECT_EQ(QCryptographicHash::hash(fileBytes(dbPath), QCryptographicHash::Sha256), before)
                << "a rejected file was changed";
        }
    }
}
