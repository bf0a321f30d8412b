// Jet 4.0 file -> our database file.  libmdb finds the tables, columns and
// rows; the values are decoded here from the row bytes, so that NULL and an
// empty text stay apart, long texts and pictures are read whole, and a
// damaged file is reported instead of read as empty values.
#include "jet_convert.h"

#include "connection_impl.h"
#include "gbk.h"
#include "jet_file.h"
#include "schema.h"

#include <glib.h>  // before mdbtools.h
#include <mdbtools.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace data {
namespace {

// Jet 4.0 row and long-value layout.
constexpr int kRowOffsetMask = 0x1fff;
constexpr std::size_t kLongValueHeader = 12;
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueOnePage = 0x40000000u;
constexpr std::uint32_t kLongValueLengthMask = 0x3fffffffu;
constexpr std::size_t kLongValueReserve = std::size_t{1} << 20;
// Date/Time: days since 1899-12-30; Jet holds the years 100 to 9999.
constexpr double kFirstJetDay = -657434.0;  // 0100-01-01
constexpr double kEndJetDay = 2958466.0;    // 10000-01-01

using Kind = schema::Kind;

struct OurColumn {
    std::string name;
    Kind kind;
    bool optional;
};

struct OurTable {
    std::string name;
    std::vector<OurColumn> columns;
};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(g_ascii_tolower(c));
    return s;
}

const char* jetTypeName(int type) {
    switch (type) {
    case MDB_BOOL: return "Yes/No";
    case MDB_BYTE: return "Byte";
    case MDB_INT: return "Integer";
    case MDB_LONGINT: return "Long Integer";
    case MDB_MONEY: return "Currency";
    case MDB_FLOAT: return "Single";
    case MDB_DOUBLE: return "Double";
    case MDB_DATETIME: return "Date/Time";
    case MDB_BINARY: return "Binary";
    case MDB_TEXT: return "Text";
    case MDB_OLE: return "OLE Object";
    case MDB_MEMO: return "Memo";
    case MDB_REPID: return "Replication ID";
    case MDB_NUMERIC: return "Decimal";
    default: return "an unknown type";
    }
}

// The Jet types a column of ours is filled from.
bool accepts(Kind kind, int jetType) {
    switch (kind) {
    case Kind::Integer: return jetType == MDB_LONGINT || jetType == MDB_INT || jetType == MDB_BYTE;
    case Kind::Text: return jetType == MDB_TEXT || jetType == MDB_MEMO;
    case Kind::DateTime: return jetType == MDB_DATETIME;
    case Kind::Blob: return jetType == MDB_OLE;
    }
    return false;
}

const char* acceptedTypes(Kind kind) {
    switch (kind) {
    case Kind::Integer: return "Long Integer, Integer or Byte";
    case Kind::Text: return "Text or Memo";
    case Kind::DateTime: return "Date/Time";
    case Kind::Blob: return "OLE Object";
    }
    return "";
}

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// --- our side: the new SQLite file -----------------------------------------

// The new file, closed on destruction; failures name the file.
class NewDatabase {
public:
    explicit NewDatabase(const std::string& path) : path_(path) {
        if (!db_.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) fail("cannot create");
    }

    void exec(const char* sql) {
        try {
            db_.exec(sql);
        } catch (const DataError&) {
            fail("cannot write");
        }
    }
    void exec(const std::string& sql) { exec(sql.c_str()); }
    sqlite3* handle() const { return db_.handle(); }
    void close() {
        if (!db_.close()) fail("cannot close");
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw DataError(what + " " + path_ + ": " + db_.errorText() + systemReason(db_.handle()));
    }

private:
    std::string path_;
    Database db_;
};

// Our tables and columns, as the schema describes them.
std::vector<OurTable> ourTables() {
    std::vector<OurTable> tables;
    for (const schema::Table& t : schema::tables()) {
        OurTable ours{t.name, {}};
        for (const schema::Column& c : t.columns) ours.columns.push_back({c.name, c.kind, c.optional});
        tables.push_back(std::move(ours));
    }
    return tables;
}

void clearTables(NewDatabase& db, const std::vector<OurTable>& tables) {
    // The builder's definitions also insert the rows a fresh program needs;
    // here every row comes from the Jet file.
    for (const OurTable& t : tables) db.exec(("DELETE FROM " + t.name).c_str());
}

void writeInfo(NewDatabase& db, const std::string& password) {
    Statement insert(db.handle(), "INSERT INTO dbinfo (name, value) VALUES (?, ?)");
    for (const auto& [name, value] : schema::infoRows(password)) {
        insert.bind(1, name).bind(2, value).step();
        insert.reset();
    }
}

void checkWritten(NewDatabase& db, const std::vector<JetTableRows>& counts) {
    Statement check(db.handle(), "PRAGMA integrity_check");
    if (!check.step()) throw DataError("the integrity check of the new file returned nothing");
    std::string verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
    if (verdict != "ok") throw DataError("the new file fails its integrity check: " + verdict);
    for (const JetTableRows& c : counts) {
        Statement count(db.handle(), "SELECT count(*) FROM " + c.table);
        count.step();
        const long long written = sqlite3_column_int64(count.get(), 0);
        if (written != c.rows)
            throw DataError("table " + c.table + " of the new file holds " + std::to_string(written) +
                            " rows, the Jet file " + std::to_string(c.rows));
    }
}

void syncFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        throw DataError("cannot sync " + path + ": " + std::strerror(error));
    }
    ::close(fd);
}

// --- the Jet side ----------------------------------------------------------

struct MdbCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using JetTable = std::unique_ptr<MdbTableDef, TableFreer>;

// Where a value comes from, for messages: "b1.zd2 (row zd1=17)".
struct Place {
    const std::string& table;
    const std::string& column;
    const std::string& row;
    std::string text() const { return table + "." + column + " (" + row + ")"; }
};

[[noreturn]] void damaged(const Place& at, const std::string& what) {
    throw DataError("the Jet file is damaged: " + at.text() + ": " + what);
}

[[noreturn]] void doesNotFit(const Place& at, const std::string& what) {
    throw DataError(at.text() + " does not fit its column: " + what);
}

// The bytes of one row on a page, as found by libmdb.
struct PageBytes {
    const unsigned char* data;
    std::size_t size;
};

PageBytes pageRow(MdbHandle* mdb, std::uint32_t pageRow, const Place& at) {
    void* page = nullptr;
    int offset = 0;
    std::size_t length = 0;
    if (mdb_find_pg_row(mdb, static_cast<int>(pageRow), &page, &offset, &length) != 0 || offset < 0 ||
        static_cast<std::size_t>(offset) + length > kJetPageSize)
        damaged(at, "a page of a long value cannot be read");
    return {static_cast<const unsigned char*>(page) + offset, length};
}

// A Memo or OLE value: a 12-byte header in the row, the bytes inline, on one
// other page, or in a chain of pages.
std::string readLongValue(MdbHandle* mdb, const unsigned char* field, std::size_t size, const Place& at) {
    if (size == 0) return {};
    if (size < kLongValueHeader) damaged(at, "a long value's header is cut short");
    const std::uint32_t header = le32(field);
    const std::uint32_t length = header & kLongValueLengthMask;
    if (header & kLongValueInline) {
        if (size - kLongValueHeader != length) damaged(at, "an inline value's length is wrong");
        return std::string(reinterpret_cast<const char*>(field + kLongValueHeader), length);
    }
    std::uint32_t next = le32(field + 4);
    if (header & kLongValueOnePage) {
        PageBytes row = pageRow(mdb, next, at);
        if (row.size != length) damaged(at, "a long value's length is wrong");
        return std::string(reinterpret_cast<const char*>(row.data), row.size);
    }
    std::string value;
    // The declared length is the file's word: reserve no more than a chain
    // of pages can hold, and stop at a page seen before or one that adds
    // nothing, so that every chain ends.
    value.reserve(std::min<std::size_t>(length, kLongValueReserve));
    std::set<std::uint32_t> visited;
    while (value.size() < length) {
        if (next == 0) damaged(at, "a long value ends early");
        if (!visited.insert(next).second) damaged(at, "a long value's pages form a loop");
        PageBytes row = pageRow(mdb, next, at);
        if (row.size <= 4 || value.size() + (row.size - 4) > length)
            damaged(at, "a long value's pages do not add up to its length");
        next = le32(row.data);
        value.append(reinterpret_cast<const char*>(row.data + 4), row.size - 4);
    }
    return value;
}

// Jet 4.0 text: UTF-16LE, or, after the marker FF FE, runs of one byte per
// character (the high byte zero) switched to and from two bytes per
// character by a zero byte.
std::optional<std::u16string> jetTextUnits(const unsigned char* p, std::size_t n) {
    std::u16string units;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        for (std::size_t i = 2; i < n;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units += static_cast<char16_t>(p[i++]);
            } else {
                if (i + 1 >= n) return std::nullopt;
                units += static_cast<char16_t>(p[i] | (p[i + 1] << 8));
                i += 2;
            }
        }
        return units;
    }
    if (n % 2) return std::nullopt;
    for (std::size_t i = 0; i < n; i += 2) units += static_cast<char16_t>(p[i] | (p[i + 1] << 8));
    return units;
}

// UTF-16 -> UTF-8; nullopt on a lone surrogate.
std::optional<std::string> utf8(const std::u16string& units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string textValue(const unsigned char* p, std::size_t n, const Place& at) {
    auto units = jetTextUnits(p, n);
    if (!units) damaged(at, "a text has an odd number of bytes");
    auto text = utf8(*units);
    if (!text) doesNotFit(at, "the text is not valid UTF-16");
    std::string offending;
    if (!gbk::encodable(*text, &offending))
        doesNotFit(at, "the text holds \"" + offending + "\", which the program cannot show (not GBK)");
    return *text;
}

}  // namespace

std::optional<std::string> jetDateTimeText(double value) {
    if (!std::isfinite(value) || value < kFirstJetDay || value >= kEndJetDay) return std::nullopt;
    const double whole = std::trunc(value);
    long long days = static_cast<long long>(whole);
    long long seconds = std::llround(std::fabs(value - whole) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    // Civil date of days since 1970-01-01 (H. Hinnant's algorithm).
    const long long z = days - 25569 + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2);
    if (year < 100 || year > 9999) return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year),
                  static_cast<int>(month), static_cast<int>(day), static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return std::string(text);
}

namespace {

class JetReader {
public:
    explicit JetReader(const std::string& path) {
        mdb_.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
        if (!mdb_) throw DataError(path + ": libmdb cannot open the Jet file");
        if (!mdb_read_catalog(mdb_.get(), MDB_TABLE))
            throw DataError(path + ": the Jet file is damaged: its catalog cannot be read");
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
                tables_.emplace(lower(entry->object_name), entry);
        }
    }

    MdbHandle* handle() const { return mdb_.get(); }
    // The user tables by lower-case name.
    const std::map<std::string, MdbCatalogEntry*>& tables() const { return tables_; }

    JetTable open(MdbCatalogEntry* entry) const {
        JetTable table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            throw DataError(std::string("the Jet file is damaged: table ") + entry->object_name +
                            " cannot be read");
        return table;
    }

private:
    std::unique_ptr<MdbHandle, MdbCloser> mdb_;
    std::map<std::string, MdbCatalogEntry*> tables_;
};

// One of our tables with the Jet table it is filled from.
struct TablePlan {
    const OurTable* ours;
    JetTable jet;
    std::vector<int> source;  // per column of ours: its index among the Jet table's columns
};

MdbColumn* jetColumn(MdbTableDef* table, int index) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, index));
}

// Matches our tables and columns with the Jet file's, by name without regard
// to case.  Every problem is collected, so that one message names them all.
std::vector<TablePlan> plan(const JetReader& jet, const std::vector<OurTable>& tables,
                            std::vector<std::string>& ignored) {
    std::vector<TablePlan> plans;
    std::vector<std::string> problems;
    std::set<std::string> used;
    for (const OurTable& ours : tables) {
        auto found = jet.tables().find(ours.name);
        if (found == jet.tables().end()) {
            problems.push_back("the Jet file has no table " + ours.name);
            continue;
        }
        used.insert(found->first);
        TablePlan p{&ours, jet.open(found->second), {}};
        std::map<std::string, int> byName;
        for (unsigned i = 0; i < p.jet->num_cols; ++i) byName.emplace(lower(jetColumn(p.jet.get(), i)->name), i);
        std::set<int> usedColumns;
        for (const OurColumn& c : ours.columns) {
            auto column = byName.find(c.name);
            if (column == byName.end()) {
                if (!c.optional)
                    problems.push_back("the Jet file's table " + ours.name + " has no column " + c.name);
                p.source.push_back(-1);
                continue;
            }
            const int type = jetColumn(p.jet.get(), column->second)->col_type;
            if (!accepts(c.kind, type))
                problems.push_back("the Jet file's column " + ours.name + "." + c.name + " is " +
                                   jetTypeName(type) + ", not " + acceptedTypes(c.kind));
            p.source.push_back(column->second);
            usedColumns.insert(column->second);
        }
        for (unsigned i = 0; i < p.jet->num_cols; ++i)
            if (!usedColumns.count(static_cast<int>(i)))
                ignored.push_back("column " + ours.name + "." + jetColumn(p.jet.get(), i)->name);
        plans.push_back(std::move(p));
    }
    if (!problems.empty()) {
        std::string text;
        for (const std::string& p : problems) text += (text.empty() ? "" : "; ") + p;
        throw DataError(text);
    }
    for (const auto& [name, entry] : jet.tables())
        if (!used.count(name)) ignored.push_back(std::string("table ") + entry->object_name);
    return plans;
}

// Binds the value of one field to parameter index of insert.
void bindValue(sqlite3_stmt* insert, int index, MdbHandle* mdb, const MdbColumn& column, const MdbField& field,
               const Place& at) {
    if (field.is_null) {
        sqlite3_bind_null(insert, index);
        return;
    }
    if (field.start < 0 || field.siz < 0 ||
        static_cast<std::size_t>(field.start) + static_cast<std::size_t>(field.siz) > kJetPageSize)
        damaged(at, "a value lies outside its page");
    const unsigned char* p = mdb->pg_buf + field.start;
    const auto size = static_cast<std::size_t>(field.siz);
    auto expectSize = [&](std::size_t wanted) {
        if (size != wanted)
            damaged(at, "a value of " + std::to_string(size) + " bytes for " + jetTypeName(column.col_type));
    };
    switch (column.col_type) {
    case MDB_LONGINT:
        expectSize(4);
        sqlite3_bind_int64(insert, index, static_cast<std::int32_t>(le32(p)));
        return;
    case MDB_INT:
        expectSize(2);
        sqlite3_bind_int64(insert, index, static_cast<std::int16_t>(p[0] | (p[1] << 8)));
        return;
    case MDB_BYTE:
        expectSize(1);
        sqlite3_bind_int64(insert, index, p[0]);
        return;
    case MDB_DATETIME: {
        expectSize(8);
        double value = 0;
        std::memcpy(&value, p, sizeof value);
        auto text = jetDateTimeText(value);
        if (!text)
            doesNotFit(at, "the date-time " + std::to_string(value) + " is outside the years 100 to 9999");
        sqlite3_bind_text(insert, index, text->c_str(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
        return;
    }
    case MDB_TEXT: {
        std::string text = textValue(p, size, at);
        sqlite3_bind_text(insert, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return;
    }
    case MDB_MEMO: {
        std::string bytes = readLongValue(mdb, p, size, at);
        std::string text = textValue(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), at);
        sqlite3_bind_text(insert, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return;
    }
    case MDB_OLE: {
        std::string bytes = readLongValue(mdb, p, size, at);
        if (bytes.empty())
            sqlite3_bind_zeroblob(insert, index, 0);
        else
            sqlite3_bind_blob(insert, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    }
    damaged(at, "unexpected column type");
}

// Copies every row of one table; returns how many.
long long copyRows(MdbHandle* mdb, TablePlan& p, NewDatabase& db) {
    const OurTable& ours = *p.ours;
    std::string columns, marks;
    for (const OurColumn& c : ours.columns) {
        columns += (columns.empty() ? "" : ", ") + c.name;
        marks += marks.empty() ? "?" : ", ?";
    }
    Statement insert(db.handle(), "INSERT INTO " + ours.name + " (" + columns + ") VALUES (" + marks + ")");
    MdbTableDef* table = p.jet.get();
    std::vector<MdbField> fields(table->num_cols);
    const std::string noColumn;

    mdb_rewind_table(table);
    long long rows = 0;
    while (mdb_fetch_row(table)) {
        ++rows;
        // The row just read is still on the current page: crack it again to
        // see which fields are NULL.
        int start = 0;
        std::size_t size = 0;
        std::string where = "row " + std::to_string(rows);
        if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &size) != 0 ||
            mdb_crack_row(table, start & kRowOffsetMask, size, fields.data()) < 0)
            damaged({ours.name, noColumn, where}, "a row cannot be read");
        // Name the row by its key where there is one.
        const MdbField& key = fields[static_cast<std::size_t>(p.source[0])];
        if (!key.is_null && key.siz == 4 && key.start >= 0 && key.start + 4 <= static_cast<int>(kJetPageSize))
            where = ours.columns[0].name + "=" +
                    std::to_string(static_cast<std::int32_t>(le32(mdb->pg_buf + key.start)));
        for (std::size_t c = 0; c < ours.columns.size(); ++c) {
            const int source = p.source[c];
            if (source < 0) {  // an optional column the Jet file lacks
                insert.bindNull(static_cast<int>(c) + 1);
                continue;
            }
            const Place at{ours.name, ours.columns[c].name, where};
            if (c == 0 && fields[static_cast<std::size_t>(source)].is_null)
                doesNotFit(at, "the row has no key");
            bindValue(insert.get(), static_cast<int>(c) + 1, mdb, *jetColumn(table, source),
                      fields[static_cast<std::size_t>(source)], at);
        }
        try {
            insert.step();
        } catch (const DataError& e) {
            const int code = sqlite3_extended_errcode(db.handle());
            if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE)
                doesNotFit({ours.name, ours.columns[0].name, where}, "the key occurs twice");
            throw DataError("cannot write the new file: " + std::string(e.what()) + systemReason(db.handle()));
        }
        insert.reset();
    }
    if (rows != static_cast<long long>(table->num_rows))
        throw DataError("the Jet file is damaged: table " + ours.name + " lists " +
                        std::to_string(table->num_rows) + " rows, " + std::to_string(rows) +
                        " can be read");
    return rows;
}

JetConversion convert(const std::string& jetPath, const std::string& outPath, const std::string& password) {
    DetectedFormat format = detectFileFormat(jetPath);
    if (format.format != FileFormat::Jet4)
        throw DataError(jetPath + " is " + format.description + ", not a Jet 4.0 file");
    checkJetPassword(jetPath, password);
    std::error_code ec;
    const auto size = std::filesystem::file_size(jetPath, ec);
    if (ec || size % kJetPageSize != 0)
        throw DataError(jetPath + ": the Jet file is damaged: its size is not a whole number of pages");

    JetReader jet(jetPath);
    NewDatabase db(outPath);
    db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
    db.exec(schema::infoTableSql());
    db.exec(schema::programTablesSql());
    const std::vector<OurTable> tables = ourTables();
    clearTables(db, tables);

    JetConversion result;
    std::vector<TablePlan> plans;
    try {
        plans = plan(jet, tables, result.ignored);
    } catch (const DataError& e) {
        throw DataError(jetPath + ": " + e.what());
    }
    for (const std::string& what : result.ignored)
        std::cerr << jetPath << ": " << what << " is not part of the program's database; left out\n";

    db.exec("BEGIN");
    for (TablePlan& p : plans) {
        try {
            result.tables.push_back({p.ours->name, copyRows(jet.handle(), p, db)});
        } catch (const DataError& e) {
            throw DataError(jetPath + ": " + e.what());
        }
    }
    writeInfo(db, password);
    db.exec("COMMIT");
    checkWritten(db, result.tables);
    db.close();
    syncFile(outPath);
    return result;
}

}  // namespace

JetConversion convertJetFile(const std::string& jetPath, const std::string& outPath,
                             const std::string& password) {
    std::error_code ec;
    if (std::filesystem::symlink_status(outPath, ec).type() != std::filesystem::file_type::not_found)
        throw DataError(outPath + " already exists or cannot be looked at");
    try {
        return convert(jetPath, outPath, password);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(outPath, ignored);
        throw;
    }
}

}  // namespace data
