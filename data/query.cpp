#include "connection_impl.h"
#include "datetime_text.h"
#include "jet_sql.h"

#include "gbk.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <variant>

namespace data {

struct Field::Value {
    std::variant<std::monostate, long long, double, std::string, std::vector<unsigned char>> v;
};

// The rows of an opened query, kept whole: fields hand out pointers into it.
struct ResultTable {
    std::vector<std::string> names;  // GBK
    std::vector<Field::Value> cells;  // row after row
    std::size_t rows = 0;
};

struct Query::Result {
    std::shared_ptr<const ResultTable> table;
    std::size_t row = 0;
};

namespace {

std::string toGbk(std::string_view utf8) {
    try {
        return gbk::fromUtf8(utf8);
    } catch (const gbk::EncodingError& e) {
        throw DataError(std::string("text not representable in GBK: ") + e.what());
    }
}

// The program's GBK statement as SQLite runs it.
std::string sqliteText(const std::string& gbkSql) {
    try {
        return jet::toSqlite(gbk::toUtf8(gbkSql));
    } catch (const gbk::EncodingError& e) {
        throw DataError(std::string("statement is not GBK text: ") + e.what());
    }
}

Field::Value readValue(sqlite3_stmt* stmt, int column) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return {static_cast<long long>(sqlite3_column_int64(stmt, column))};
    case SQLITE_FLOAT:
        return {sqlite3_column_double(stmt, column)};
    case SQLITE_TEXT: {
        auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return {toGbk(std::string_view(text, sqlite3_column_bytes(stmt, column)))};
    }
    case SQLITE_BLOB: {
        auto bytes = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, column));
        return {std::vector<unsigned char>(bytes, bytes + sqlite3_column_bytes(stmt, column))};
    }
    default:
        return {};
    }
}

void readColumns(sqlite3_stmt* stmt, ResultTable& table) {
    int count = sqlite3_column_count(stmt);
    if (count == 0) throw DataError("the statement returns no rows");
    for (int i = 0; i < count; ++i) table.names.push_back(toGbk(sqlite3_column_name(stmt, i)));
}

void readRow(sqlite3_stmt* stmt, ResultTable& table) {
    for (std::size_t i = 0; i < table.names.size(); ++i)
        table.cells.push_back(readValue(stmt, static_cast<int>(i)));
    ++table.rows;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

// A whole number in text, as a string-to-integer conversion reads it:
// blanks around it and a sign allowed, nothing else.
std::optional<long long> parseWholeNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

// Field --------------------------------------------------------------------

Field::Field(std::shared_ptr<const Value> v, std::string name)
    : value_(std::move(v)), name_(std::move(name)) {}

bool Field::isNull() const {
    return !value_ || std::holds_alternative<std::monostate>(value_->v);
}

long long Field::asInteger() const {
    if (isNull()) return 0;
    if (auto i = std::get_if<long long>(&value_->v)) return *i;
    if (auto d = std::get_if<double>(&value_->v)) return std::llround(*d);
    if (auto s = std::get_if<std::string>(&value_->v))
        if (auto n = parseWholeNumber(*s)) return *n;
    throw DataError("field " + name_ + " does not hold a whole number");
}

std::string Field::asString() const {
    if (isNull()) return {};
    if (auto i = std::get_if<long long>(&value_->v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&value_->v)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.15g", *d);
        return buffer;
    }
    if (auto s = std::get_if<std::string>(&value_->v)) return *s;
    const auto& bytes = std::get<std::vector<unsigned char>>(value_->v);
    return std::string(bytes.begin(), bytes.end());
}

std::optional<DateTime> Field::asDateTime() const {
    if (isNull()) return std::nullopt;
    if (auto s = std::get_if<std::string>(&value_->v))
        if (auto t = splitDateTime(*s); t && isValidDateTime(*t)) return t;
    throw DataError("field " + name_ + " does not hold a date-time");
}

std::vector<unsigned char> Field::asBytes() const {
    if (isNull()) return {};
    if (auto b = std::get_if<std::vector<unsigned char>>(&value_->v)) return *b;
    if (auto s = std::get_if<std::string>(&value_->v)) return {s->begin(), s->end()};
    throw DataError("field " + name_ + " does not hold binary data");
}

// Query --------------------------------------------------------------------

Query::Query(Connection& connection, std::string designSql)
    : connection_(connection), sql_(std::move(designSql)) {}

Query::~Query() = default;

void Query::close() {
    result_.reset();
}

bool Query::active() const {
    return result_ != nullptr;
}

void Query::setSql(std::string gbkSql) {
    close();
    sql_ = std::move(gbkSql);
    parameters_.clear();
}

void Query::setParameters(std::vector<long long> values) {
    close();
    parameters_ = std::move(values);
}

namespace {

void bindAll(Statement& statement, const std::vector<long long>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        if (sqlite3_bind_int64(statement.get(), static_cast<int>(i + 1), values[i]) != SQLITE_OK)
            throw DataError("statement parameter " + std::to_string(i + 1) + " cannot be bound");
}

}  // namespace

const std::string& Query::sql() const {
    return sql_;
}

void Query::open() {
    if (active()) return;
    Connection::Impl& impl = connection_.impl();
    Statement statement(impl.db(), sqliteText(sql_));
    bindAll(statement, parameters_);
    auto table = std::make_shared<ResultTable>();
    readColumns(statement.get(), *table);
    runGuarded(impl, statement, [&] {
        if (!statement.step()) return false;
        readRow(statement.get(), *table);
        return true;
    });
    result_ = std::make_unique<Result>(Result{std::move(table), 0});
}

void Query::execSql() {
    Connection::Impl& impl = connection_.impl();
    Statement statement(impl.db(), sqliteText(sql_));
    bindAll(statement, parameters_);
    runGuarded(impl, statement, [&] { return statement.step(); });
}

bool Query::eof() const {
    return !result_ || result_->row >= result_->table->rows;
}

void Query::next() {
    if (!result_) throw DataError("the query is closed");
    if (!eof()) ++result_->row;
}

std::size_t Query::recordCount() const {
    return result_ ? result_->table->rows : 0;
}

Field Query::fieldByName(std::string_view name) const {
    if (!result_) throw DataError("the query is closed: no field " + std::string(name));
    const ResultTable& table = *result_->table;
    std::size_t column = 0;
    while (column < table.names.size() && !sameName(table.names[column], name)) ++column;
    if (column == table.names.size()) throw DataError("no field " + std::string(name));
    if (eof()) return Field(nullptr, std::string(name));
    const Field::Value* cell = &table.cells[result_->row * table.names.size() + column];
    return Field(std::shared_ptr<const Field::Value>(result_->table, cell), std::string(name));
}

}  // namespace data
