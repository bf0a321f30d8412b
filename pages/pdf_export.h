// Saving pages as a PDF file without a printer: A4 portrait sheets drawn by
// the same renderer as printing, into the user's documents folder, under a
// name that says what and when and never replaces a file.  The file is
// written under a temporary name in the same folder, checked to the last
// byte on disk, and only then given its name; a failure leaves nothing.
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <string>

class QPainter;

namespace pages::pdf {

// Draws page `page` (1-based) on the painter of a sheet of `dpi` dots per
// inch, measured from the sheet's corner.
using DrawPage = std::function<void(QPainter& painter, int page, int dpi)>;

// The sheet's resolution: that of the page units, 300 dpi.
inline constexpr int kResolution = 300;

// "<what>-2026-12-07-1830.pdf"; the n-th name tried (n > 1) adds "-n"
// before ".pdf".
QString fileName(const QString& what, const QDateTime& when, int n = 1);

// The user's documents folder.
QString documentsFolder();

struct Saved {
    QString path;       // the file written, empty on failure
    std::string shownPath;  // the same in GBK, "?" for what GBK lacks
    std::string error;  // why not (GBK), empty on success
};

// Writes pageCount pages into folder (made when missing) under the first
// free name for what and when.
Saved savePdf(const QString& folder, const QString& what, const QDateTime& when, int pageCount,
              const DrawPage& draw);

// Writes pageCount pages into the file at path, replacing a file of that
// name only once the new one is whole on disk.  The file is its owner's
// alone (mode 0600): a caller that names the file may be writing what
// others must not read, such as a class's scores.
Saved savePdfAs(const QString& path, const QString& what, int pageCount, const DrawPage& draw);

}  // namespace pages::pdf
