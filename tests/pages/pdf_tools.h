// Reading PDF files back with the poppler tools (poppler-utils).
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>

namespace pdftools {

// What the program prints on its standard output.
inline std::string run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput().toStdString();
}

// The text of every page.  Qt names a glyph that an ideograph shares with a
// radical by the radical's lower code point (页 as ⻚, 一 as ⼀): the Kangxi
// radicals fold back under NFKC, ⻚ is put back by hand.
inline std::string text(const QString& file) {
    std::string text = QString::fromStdString(run("pdftotext", {"-layout", file, "-"}))
                           .normalized(QString::NormalizationForm_KC)
                           .toStdString();
    for (std::size_t at; (at = text.find("⻚")) != std::string::npos;) text.replace(at, std::string("⻚").size(), "页");
    return text;
}

// The page count pdfinfo reads, -1 when it reads none.
inline int pages(const QString& file) {
    const QString info = QString::fromStdString(run("pdfinfo", {file}));
    const qsizetype at = info.indexOf("Pages:");
    return at < 0 ? -1 : info.mid(at + 6).section('\n', 0, 0).trimmed().toInt();
}

}  // namespace pdftools
