#include "content_version.h"

#include "database_writer.h"

#include "schema.h"
#include "sqlite.h"

#include <QCryptographicHash>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <vector>

namespace fs = std::filesystem;

namespace content {
namespace {

const char* const kVersionFile = "version.toml";

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every regular file under dir, by its path relative to dir, sorted, so the
// digest does not depend on the order the file system lists them in.
std::vector<std::string> sourceFiles(const fs::path& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), dir).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string digestOf(const fs::path& dir) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& name : sourceFiles(dir)) {
        const std::string bytes = readAll(dir / name);
        // Name and length first, so that moving bytes between files changes the digest.
        const std::string head = name + '\0' + std::to_string(bytes.size()) + '\0';
        hash.addData(QByteArrayView(head.data(), static_cast<qsizetype>(head.size())));
        hash.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    return hash.result().toHex().toStdString();
}

}  // namespace

ContentVersion readContentVersion(const fs::path& contentDir, Problems& problems) {
    ContentVersion version;
    const fs::path file = contentDir / kVersionFile;
    std::error_code ec;
    if (fs::exists(file, ec)) {
        static const std::regex line(R"(^\s*sequence\s*=\s*([0-9]{1,9})\s*$)");
        std::smatch match;
        const std::string text = readAll(file);
        const std::string first = text.substr(0, text.find('\n'));
        if (std::regex_match(first, match, line))
            version.sequence = std::stoll(match[1]);
        else
            problems.push_back(std::string(kVersionFile) + ": the first line must be \"sequence = N\"");
    }
    version.digest = digestOf(contentDir);
    return version;
}

void stampVersion(const fs::path& path, const ContentVersion& version) {
    data::Database db;
    if (!db.open(path.string(), SQLITE_OPEN_READWRITE))
        throw WriteError(path.string() + ": " + db.errorText());
    try {
        data::Statement insert(db.handle(), "INSERT OR REPLACE INTO dbinfo (name, value) VALUES (?, ?)");
        const std::pair<std::string, std::string> rows[] = {
            {data::schema::kSchemaVersionName, data::schema::kSchemaVersion},
            {data::schema::kContentSequenceName, std::to_string(version.sequence)},
            {data::schema::kContentDigestName, version.digest}};
        for (const auto& [name, value] : rows) {
            insert.bind(1, name).bind(2, value);
            insert.step();
            insert.reset();
        }
    } catch (const data::DataError& e) {
        throw WriteError(e.what());
    }
}

}  // namespace content
