#include "pdf_export.h"

#include "gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cstdio>

#include <unistd.h>

namespace pages::pdf {

namespace {

// A folder or file name in the message box; characters GBK lacks as "?".
std::string shown(const QString& text) {
    std::string out;
    for (const QChar c : text) {
        try {
            out += gbk::fromUtf8(QString(c).toStdString());
        } catch (const gbk::EncodingError&) {
            out += "?";
        }
    }
    return out;
}

Saved failed(const std::string& why) { return {QString(), std::string(), why}; }

// The PDF writer's way to the file: it does not look at what a write
// returns, so every write is checked here and counted.
class CheckedFile : public QIODevice {
public:
    explicit CheckedFile(QFile& file) : file_(file) { open(QIODevice::WriteOnly); }
    bool failed() const { return failed_; }
    qint64 written() const { return written_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        const qint64 done = failed_ ? -1 : file_.write(data, length);
        if (done != length) {
            failed_ = true;
            return -1;
        }
        written_ += length;
        return length;
    }

private:
    QFile& file_;
    bool failed_ = false;
    qint64 written_ = 0;
};

// All pages into the device; false when the painter or the writer failed.
bool writePages(QIODevice& device, const QString& what, int pageCount, const DrawPage& draw) {
    QPdfWriter writer(&device);
    writer.setResolution(kResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    writer.setTitle(what);
    writer.setCreator(QStringLiteral("奥数天天练"));
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    for (int page = 1; page <= pageCount; ++page) {
        if (page > 1 && !writer.newPage()) return false;
        draw(painter, page, writer.resolution());
    }
    return painter.end();
}

// Every byte written reached the disk: a full disk shows here at the latest
// (a buffered write or a delayed block allocation fails on flush or fsync).
bool onDisk(QFile& file, const CheckedFile& checked) {
    if (checked.failed() || file.error() != QFileDevice::NoError || !file.flush() || ::fsync(file.handle()) != 0)
        return false;
    return QFileInfo(file.fileName()).size() == checked.written();
}

// The pages into a temporary file in folder, whole on disk; the reason
// (GBK) when not.
std::string writeTemporary(QTemporaryFile& file, const QString& folder, const QString& what, int pageCount,
                           const DrawPage& draw) {
    if (folder.isEmpty() || !QDir().mkpath(folder)) return "无法建立文件夹 "_gbk + shown(folder) + "，PDF没有保存。"_gbk;
    file.setFileTemplate(folder + "/.aoshu-pdf-XXXXXX");
    if (!file.open()) return "无法在文件夹 "_gbk + shown(folder) + " 中写文件，PDF没有保存。"_gbk;
    CheckedFile checked(file);
    const bool written = writePages(checked, what, pageCount, draw);
    if (!onDisk(file, checked)) return "磁盘已满或不能写入，PDF没有保存。"_gbk;
    if (!written) return "PDF文件没有写成，没有保存。"_gbk;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    return {};
}

}  // namespace

QString fileName(const QString& what, const QDateTime& when, int n) {
    const QString stem = what + "-" + when.toString("yyyy-MM-dd-HHmm");
    return (n > 1 ? stem + QString("-%1").arg(n) : stem) + ".pdf";
}

QString documentsFolder() { return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation); }

Saved savePdfAs(const QString& path, const QString& what, int pageCount, const DrawPage& draw) {
    const QString target = QFileInfo(path).absoluteFilePath();
    QTemporaryFile file;
    const std::string why = writeTemporary(file, QFileInfo(target).absolutePath(), what, pageCount, draw);
    if (!why.empty()) return failed(why);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // rename() puts the new file in the old one's place in one step.
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return failed("无法写入文件 "_gbk + shown(target) + "，PDF没有保存。"_gbk);
    file.setAutoRemove(false);
    return {target, shown(target), std::string()};
}

Saved savePdf(const QString& folder, const QString& what, const QDateTime& when, int pageCount,
              const DrawPage& draw) {
    QTemporaryFile file;
    const std::string why = writeTemporary(file, folder, what, pageCount, draw);
    if (!why.empty()) return failed(why);
    // The rename never replaces a file: a name taken meanwhile moves on to
    // the next one.
    for (int n = 1; n < 1000; ++n) {
        const QString target = QDir(folder).filePath(fileName(what, when, n));
        if (QFile::exists(target)) continue;
        if (file.rename(target)) {
            file.setAutoRemove(false);
            return {target, shown(target), std::string()};
        }
        if (!QFile::exists(target)) break;
    }
    return failed("无法给PDF文件命名，PDF没有保存。"_gbk);
}

}  // namespace pages::pdf
