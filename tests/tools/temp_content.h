// A content folder in a temporary directory, for feeding the builder.
#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <map>
#include <string>

namespace testing_content {

// Files by path relative to the folder -> UTF-8 text.
using Files = std::map<std::string, std::string>;

// A small content set that builds: grade 3 with a unit (page, picture) and
// one question, posts.toml with the fixed post, one picture.
Files validContent();

// A grade-3 question entry ([[question]] ...) with the given text block
// (lines joined by \n) and extra TOML lines.
std::string question(const std::string& text, const std::string& extra = "key = \"C\"\n");

// A grade-3 file holding the given entries after the usual header.
std::string grade3(const std::string& entries);

class TempContent {
public:
    explicit TempContent(const Files& files);
    std::filesystem::path dir() const;
    std::filesystem::path output() const;  // where a database would go

private:
    QTemporaryDir temp_;
};

}  // namespace testing_content
