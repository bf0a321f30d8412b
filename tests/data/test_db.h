// Small program databases for the data-layer tests.
#pragma once

#include <string>

namespace testdb {

inline const std::string kPassword = "739184026551903";

// A fresh directory under the system temp dir, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Writes a database file with the program's schema, the rows it needs
// (b2 row 1, b3 slots 1..20, b5 row 1, post 201) and the password check.
// withDbinfo = false leaves the dbinfo table out.
void createDatabase(const std::string& file, const std::string& password = kPassword,
                    bool withDbinfo = true);

// Runs SQL (UTF-8) on the file directly, outside the data layer.
void exec(const std::string& file, const std::string& sql);

// The first column of the first row of a query run directly on the file.
std::string scalar(const std::string& file, const std::string& sql);

std::string readFile(const std::string& file);
void writeFile(const std::string& file, const std::string& bytes);

// A connection string for the file with the program's password.
std::string connectionString(const std::string& file);

}  // namespace testdb
