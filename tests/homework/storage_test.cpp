// A full disk and a read-only file: the database on a small tmpfs mounted by
// the test (needs root; skipped with a message where it cannot mount).
// Starting, drawing and grading end in "系统数据错!" or the database error
// box, nothing crashes, and the file is intact afterwards.
#include "homework_fixture.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>

#include <fstream>
#include <unistd.h>

namespace {

bool run(const QString& program, const QStringList& arguments, QString* output = nullptr) {
    QProcess p;
    p.start(program, arguments);
    const bool ok = p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output) *output = QString::fromLocal8Bit(p.readAllStandardError() + p.readAllStandardOutput());
    return ok;
}

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class StorageTest : public HomeworkTest {
public:
    void TearDown() override {
        HomeworkTest::TearDown();  // the connection closes before the unmount
        if (!mountPoint.isEmpty()) run("umount", {"-l", mountPoint});
    }

    // Moves the database file onto a fresh tmpfs of the given size, mounted
    // on its folder.  Skips the test where that is not possible.
    bool onTmpfs(int kilobytes) {
        const QString file = QString::fromStdString(dbPath);
        const QString saved = dir.path() + "/saved.dat";
        QFile::remove(saved);
        if (!QFile::copy(file, saved)) {
            skipReason = "cannot copy the database";
            return false;
        }
        mountPoint = dir.path() + "/dat";
        QString why;
        if (geteuid() != 0 ||
            !run("mount", {"-t", "tmpfs", "-o", QStringLiteral("size=%1k,mode=0755").arg(kilobytes), "tmpfs", mountPoint},
                 &why)) {
            mountPoint.clear();
            skipReason = "cannot mount a tmpfs here (needs root): " + why.toStdString();
            return false;
        }
        return QFile::copy(saved, file);
    }

    // Fills the file system holding the database until it has no room left.
    void fillDisk() {
        std::ofstream filler((mountPoint + "/filler").toStdString(), std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size()) && filler.flush()) {
        }
    }

    bool remountReadOnly() { return run("mount", {"-o", "remount,ro", mountPoint}); }

    std::string integrity() { return dbText("pragma integrity_check"); }
    std::vector<long long> slotIds() {
        std::vector<long long> ids;
        for (int slot = 1; slot <= 20; ++slot) ids.push_back(dbInt("select zd3 from b3 where zd1=" + std::to_string(slot)));
        return ids;
    }

    QString mountPoint;
    std::string skipReason;
};

TEST_F(StorageTest, AFullDiskWritesNothingHalfAndShowsTheNotice) {
    dbExec("update b5 set zd5=3, zd6=0 where zd1=1");
    const qint64 size = QFile(QString::fromStdString(dbPath)).size();
    if (!onTmpfs(static_cast<int>(size / 1024) + 512)) GTEST_SKIP() << skipReason;
    const std::vector<long long> before = slotIds();
    start();
    ASSERT_EQ(bt1(), "开始作业");
    fillDisk();

    handle([this] { form->BT1Click(); });  // draw: the commit finds no room
    EXPECT_EQ(pts(), "系统数据错!");
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
    answerRight(20);
    form->BJS->setCaption("我做完了"_gbk);
    handle([this] { form->FinishHomework(); });  // grade: no room either
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(endsWith([this] { form->ShowNotice("系统数据错!"_gbk), form->BT1Click(); }), 1);

    form.reset();
    datam.reset();
    QFile::remove(mountPoint + "/filler");
    EXPECT_EQ(integrity(), "ok");
    EXPECT_EQ(slotIds(), before) << "nothing of the homework was written";
    EXPECT_EQ(dbInt("select sum(zd7) from b1"), 0);
}

TEST_F(StorageTest, AReadOnlyFileIsRejectedAtTheStartAndLeftAsItWas) {
    // (A file system cannot be made read-only under a program that holds the
    // file open for writing, so only the start is tried.)
    dbExec("update b5 set zd5=3, zd6=0 where zd1=1");
    if (!onTmpfs(8192)) GTEST_SKIP() << skipReason;
    const QByteArray before = QCryptographicHash::hash(readAll(dbPath), QCryptographicHash::Sha256);
    ASSERT_TRUE(remountReadOnly());
    create();
    form->show();
    tick(2);
    EXPECT_EQ(endsWith([this] { tick(); }), 1);
    ASSERT_EQ(messageBoxes.size(), 1u);
    EXPECT_TRUE(messageBoxes[0].first.starts_with("数据库出错，请重新安装！")) << messageBoxes[0].first;
    EXPECT_TRUE(errors.empty());
    form.reset();
    datam.reset();
    EXPECT_EQ(QCryptographicHash::hash(readAll(dbPath), QCryptographicHash::Sha256), before);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dbPath + "-wal")));
}
