// Converting a Jet 4.0 (Access 2000) data file into our own format: the
// tables and columns of docs/database.md, read with libmdb.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace data {

struct JetTableRows {
    std::string table;
    long long rows = 0;
};

struct JetConversion {
    // Rows per table, in the order of our layout (b1 to b6).
    std::vector<JetTableRows> tables;
    // What the Jet file holds beyond our layout and was left out:
    // "table notes", "column b1.extra".
    std::vector<std::string> ignored;
};

// Reads the Jet 4.0 file jetPath, after checking its header and its
// password against password, and writes every table and column of our
// layout, by name, into a new database file outPath (which must not exist),
// with dbinfo holding the password's digest and our view v_b.  The new
// file is checked (PRAGMA integrity_check, row counts equal to the Jet
// file's) and synced to disk before this returns.  Extra tables and columns
// are left out and printed to stderr.
//
// Throws DataError, and leaves no outPath behind, when the file is not
// Jet 4.0, the password differs, a table or column is missing or of a type
// that cannot hold our values (naming them), a value does not fit its
// column (naming the table, the column and the row), the file is damaged,
// or outPath cannot be written.
JetConversion convertJetFile(const std::string& jetPath, const std::string& outPath,
                             const std::string& password);

// The start-up step before the connection opens path.  Our own file is left
// alone (returns false).  A Jet 4.0 file is converted once, in its place
// (returns true): the new file is written beside it under a temporary name
// and checked; the Jet file is kept as path + ".jet4" (or ".jet4.1", ...,
// never replacing an older one); then the new file is renamed over path.
// Whenever the process ends, path is either the Jet file or the whole new
// file.  Any other format, a failed conversion or a folder that cannot be
// written throws DataError, and the Jet file stays as it was.  A second
// process on the same file waits for the first one's conversion up to
// lockWait, then throws DataError (leading with a Chinese sentence).
inline constexpr std::chrono::milliseconds kConversionLockWait{30000};
bool convertDataFileInPlace(const std::string& path, const std::string& password,
                            std::chrono::milliseconds lockWait = kConversionLockWait);

// "YYYY-MM-DD HH:MM:SS" of a Jet Date/Time value (days since 1899-12-30;
// the fraction is the time of day, also for days before that date), to the
// second; nullopt outside the years 100 to 9999 and for values that are not
// numbers.
std::optional<std::string> jetDateTimeText(double value);

}  // namespace data
