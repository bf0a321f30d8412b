// The program's tables, columns and the view v_b: the one description from
// which a new file is made (the content builder, the Jet conversion) and
// against which an opened file is checked (the connection).
#pragma once

#include <string>
#include <vector>

namespace data::schema {

// Date-times are stored as text; the Jet conversion fills them from Jet's
// Date/Time columns.
enum class Kind { Integer, Text, DateTime, Blob };

struct Column {
    const char* name;
    Kind kind;
    // A column older files lack: the connection accepts a table without it,
    // the Jet conversion fills it with NULL.
    bool optional = false;
};

struct Table {
    const char* name;
    std::vector<Column> columns;  // in declaration order, the key first
};

// b1 to b6, in order.
const std::vector<Table>& tables();

inline constexpr const char* kViewName = "v_b";
// The columns of v_b the report reads.
const std::vector<const char*>& viewColumns();

// CREATE TABLE for each table, the view, and the rows a fresh program needs
// (b2 row 1, b3 slots 1..20, b5 row 1).
std::string programTablesSql();
// The table that carries the format and the password check.
const char* infoTableSql();

inline constexpr const char* kFormat = "1";

// dbinfo names of the versions a built file carries beside the format: the
// schema version counts the changes made within format 1 (2: the question
// bank columns b1.zd16/zd17 and the pupil's history tables); the content
// version is the builder's sequence number of the content and a digest of
// its source files.  A file without them (an older build, a converted Jet
// file) reads as version "".
inline constexpr const char* kSchemaVersionName = "schema-version";
inline constexpr const char* kSchemaVersion = "2";
inline constexpr const char* kContentSequenceName = "content-sequence";
inline constexpr const char* kContentDigestName = "content-digest";

// Lowercase hex SHA-256 of the salt bytes followed by the password bytes.
std::string passwordDigest(const std::vector<unsigned char>& salt, const std::string& password);

// The rows of dbinfo for a new file, name and value: the format, a fresh
// random salt (hex) and the digest of the password with it.
std::vector<std::pair<std::string, std::string>> infoRows(const std::string& password);

// True when the dbinfo values (salt in hex, digest in hex of either case)
// match password.
bool passwordMatches(const std::string& saltHex, const std::string& digestHex, const std::string& password);

}  // namespace data::schema
