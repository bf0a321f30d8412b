#include "schema.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace data::schema {
namespace {

constexpr Kind I = Kind::Integer;
constexpr Kind T = Kind::Text;
constexpr Kind D = Kind::DateTime;
constexpr Kind B = Kind::Blob;

const char* const kInfoTable = "CREATE TABLE dbinfo (name TEXT PRIMARY KEY, value TEXT NOT NULL) STRICT;";

const char* const kView = R"sql(
CREATE VIEW v_b AS
  SELECT b3.zd1 AS zd101, b3.zd2 AS zd102, b3.zd4 AS zd104,
         b1.zd1 AS zd1, b1.zd2 AS zd2, b1.zd6 AS zd6, b1.zd9 AS zd9, b1.zd14 AS zd14
  FROM b3 LEFT JOIN b1 ON b1.zd1 = b3.zd3;
)sql";

// The same view in the connection's TEMP schema, over the file's tables.
const char* const kOwnView = R"sql(
CREATE TEMP VIEW v_b AS
  SELECT b3.zd1 AS zd101, b3.zd2 AS zd102, b3.zd4 AS zd104,
         b1.zd1 AS zd1, b1.zd2 AS zd2, b1.zd6 AS zd6, b1.zd9 AS zd9, b1.zd14 AS zd14
  FROM main.b3 AS b3 LEFT JOIN main.b1 AS b1 ON b1.zd1 = b3.zd3;
)sql";

const char* const kRequiredRows = R"sql(
INSERT INTO b2 (zd1, zd3, zd4, zd5, zd6, zd12) VALUES (1, NULL, NULL, 0, 0, 0);
INSERT INTO b5 (zd1, zd2, zd5, zd6) VALUES (1, NULL, 0, 0);
WITH RECURSIVE slot(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM slot WHERE n < 20)
  INSERT INTO b3 (zd1, zd2, zd3, zd4, zd5, zd6) SELECT n, 1, 0, '', 0, 0 FROM slot;
)sql";

const char* sqlType(Kind kind) {
    switch (kind) {
    case Kind::Integer: return "INTEGER";
    case Kind::Text:
    case Kind::DateTime: return "TEXT";
    case Kind::Blob: return "BLOB";
    }
    return "";
}

std::string hex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace

const std::vector<Table>& tables() {
    static const std::vector<Table> all = {
        // zd16: the position b4.zd4 of the unit a question practises; zd17:
        // the mock paper of a grade-11 mock question.  NULL when untagged;
        // files from before the question bank lack both.
        {"b1", {{"zd1", I}, {"zd2", T}, {"zd5", I}, {"zd6", T}, {"zd7", I}, {"zd9", I}, {"zd10", I},
                {"zd11", I}, {"zd12", B}, {"zd14", T}, {"zd15", B}, {"zd16", I, true}, {"zd17", I, true}}},
        {"b2", {{"zd1", I}, {"zd3", D}, {"zd4", D}, {"zd5", I}, {"zd6", I}, {"zd12", I}}},
        {"b3", {{"zd1", I}, {"zd2", I}, {"zd3", I}, {"zd4", T}, {"zd5", I}, {"zd6", I}}},
        {"b4", {{"zd1", I}, {"zd2", T}, {"zd3", I}, {"zd4", I}, {"zd5", T}, {"zd6", T}}},
        {"b5", {{"zd1", I}, {"zd2", T}, {"zd5", I}, {"zd6", I}}},
        {"b6", {{"zd1", I}, {"zd2", I}, {"zd3", I}, {"zd4", I}, {"zd5", B}}},
    };
    return all;
}

const std::vector<const char*>& viewColumns() {
    static const std::vector<const char*> columns = {"zd101", "zd102", "zd104", "zd1",
                                                     "zd2",   "zd6",   "zd9",   "zd14"};
    return columns;
}

std::string programTablesSql() {
    std::string sql;
    for (const Table& table : tables()) {
        sql += std::string("CREATE TABLE ") + table.name + " (";
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            const Column& c = table.columns[i];
            sql += std::string(i ? ", " : "") + c.name + " " + sqlType(c.kind) + (i ? "" : " PRIMARY KEY");
        }
        sql += ") STRICT;\n";
    }
    return sql + kView + kRequiredRows;
}

const char* ownViewSql() {
    return kOwnView;
}

const char* infoTableSql() {
    return kInfoTable;
}

std::string passwordDigest(const std::vector<unsigned char>& salt, const std::string& password) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(salt.data()), static_cast<qsizetype>(salt.size())));
    hash.addData(QByteArrayView(password.data(), static_cast<qsizetype>(password.size())));
    return hash.result().toHex().toStdString();
}

std::vector<std::pair<std::string, std::string>> infoRows(const std::string& password) {
    std::vector<unsigned char> salt(16);
    for (auto& b : salt) b = static_cast<unsigned char>(QRandomGenerator::system()->bounded(256));
    return {{"format", kFormat}, {"password-salt", hex(salt)}, {"password-sha256", passwordDigest(salt, password)}};
}

bool passwordMatches(const std::string& saltHex, const std::string& digestHex, const std::string& password) {
    const QByteArray salt = QByteArray::fromHex(QByteArray::fromStdString(saltHex));
    const std::vector<unsigned char> saltBytes(salt.begin(), salt.end());
    return passwordDigest(saltBytes, password) == QByteArray::fromStdString(digestHex).toLower().toStdString();
}

}  // namespace data::schema
