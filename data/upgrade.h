// Bringing new content to a pupil's database without losing their record.
//
// A database built by the content builder carries a content version in
// dbinfo (schema.h).  When the installed database's version differs from a
// user's copy, mergeRecord builds a new copy from the installed file and
// carries the pupil's record over:
//
//   b2, b3            the last homework, so that its report reads as before:
//                     a question of it that the new content removed or
//                     changed is kept as its old b1 row under a new id
//                     (kKeptIdBase + old id, pool kKeptForReport, never
//                     drawn) and b3 points there
//   b5                the remembered grade and unit, the unit moved to the
//                     nearest valid one when the grade has fewer units now
//   b1.zd7, b4.zd4    the question counters and the posts' shown counts, by id
//   history           every grading and answer; the review schedule by
//                     question id (new questions start unseen); the day's
//                     choice is made afresh from the new content
//
// The new copy is written beside the old one, checked (integrity, row
// counts), flushed, and renamed over it; the old copy stays as one backup
// (path + ".old") until the next start that needs no merge.  Whenever the
// process ends, the path holds the old copy or the whole new one.  Older
// shapes (no history tables, no question bank columns, a Jet 4.0 file,
// converted first) merge the same way.
#pragma once

#include <stdexcept>
#include <string>

namespace data::upgrade {

inline constexpr long long kKeptIdBase = 1000000;
inline constexpr int kKeptForReport = 3;

struct ContentVersion {
    std::string schema, sequence, digest;  // "" when the file has none
    bool operator==(const ContentVersion&) const = default;
};

// The versions in the file's dbinfo.  Throws DataError when the file cannot
// be read as one of our databases.
ContentVersion readVersion(const std::string& path);

// The checks a file passes before it is merged or kept: an SQLite file that
// passes quick_check, with dbinfo, the password and the tables and columns
// of schema.h.  Throws DataError naming the first failure.
void checkDatabase(const std::string& path, const std::string& password, bool readOnly);

struct MergeCounts {
    long long questions = 0;      // rows of b1 in the new copy
    long long keptQuestions = 0;  // old rows kept for the last homework's report
    long long gradings = 0;       // rows of history_homework carried over
    long long answers = 0;        // rows of history_answer carried over
    long long scheduled = 0;      // schedule rows carried over by question id
};

// Thrown when the installed database fails its checks: nothing is changed.
struct InstalledDamaged : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Thrown when the user's copy fails its checks: nothing is changed.
struct CopyDamaged : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Merges the record of the database at user into a copy of installed and
// puts the result at out (which may be user itself; an existing out is kept
// as out + ".old").  A Jet 4.0 file at user is converted in its place first.
// Throws InstalledDamaged, CopyDamaged, or DataError when the merge itself
// fails (nothing is changed then either).
MergeCounts mergeRecord(const std::string& installed, const std::string& user, const std::string& out,
                        const std::string& password);

}  // namespace data::upgrade
