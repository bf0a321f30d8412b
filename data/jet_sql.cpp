#include "jet_sql.h"

#include "datam.h"
#include "datetime_text.h"

#include <cctype>

namespace data::jet {
namespace {

bool isIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

void skipSpace(std::string_view s, std::size_t& pos) {
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
}

// Matches word at pos, case-insensitively and as a whole word.
bool readWord(std::string_view s, std::size_t& pos, std::string_view word) {
    if (s.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[pos + i])) != word[i]) return false;
    std::size_t end = pos + word.size();
    if (end < s.size() && isIdentChar(s[end])) return false;
    pos = end;
    return true;
}

// The end of the quoted string that starts at pos (one past the closing
// quote); a doubled quote inside stands for one quote.
std::size_t quotedEnd(std::string_view s, std::size_t pos) {
    char quote = s[pos];
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] != quote) continue;
        if (i + 1 < s.size() && s[i + 1] == quote) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return s.size();
}

// The literal 'text' as SQLite should see it.
std::string rewriteLiteral(std::string_view literal) {
    std::string_view body = literal.substr(1, literal.size() >= 2 ? literal.size() - 2 : 0);
    auto t = splitDateTime(body);
    if (!t) return std::string(literal);
    if (!isValidDateTime(*t))
        throw DataError("'" + std::string(body) + "' is not a valid date-time");
    return "'" + storedDateTime(*t) + "'";
}

std::string rewriteDateLiterals(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 16);
    std::size_t pos = 0;
    while (pos < sql.size()) {
        char c = sql[pos];
        if (c != '\'' && c != '"') {
            out += c;
            ++pos;
            continue;
        }
        std::size_t end = quotedEnd(sql, pos);
        std::string_view literal = sql.substr(pos, end - pos);
        out += c == '\'' ? rewriteLiteral(literal) : std::string(literal);
        pos = end;
    }
    return out;
}

// The statement without trailing blanks and semicolons.
std::string_view trimEnd(std::string_view s) {
    while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.back())) || s.back() == ';'))
        s.remove_suffix(1);
    return s;
}

std::string rewriteTop(const std::string& sql) {
    std::size_t pos = 0;
    skipSpace(sql, pos);
    if (!readWord(sql, pos, "select")) return sql;
    std::size_t head = pos;  // "select" and an optional distinct / all
    std::size_t p = pos;
    skipSpace(sql, p);
    if (readWord(sql, p, "distinct") || readWord(sql, p, "all")) head = p;
    p = head;
    skipSpace(sql, p);
    if (!readWord(sql, p, "top")) return sql;
    skipSpace(sql, p);
    std::size_t digits = p;
    while (p < sql.size() && std::isdigit(static_cast<unsigned char>(sql[p]))) ++p;
    if (p == digits || (p < sql.size() && isIdentChar(sql[p]))) return sql;
    std::string count = sql.substr(digits, p - digits);
    skipSpace(sql, p);
    std::string_view rest = trimEnd(std::string_view(sql).substr(p));
    return sql.substr(0, head) + " " + std::string(rest) + " limit " + count;
}

// At pos: "column=column+N" (blanks allowed), as the counters are raised.
// Returns the length matched, 0 when it is something else; column and N
// are set.
std::size_t matchIncrement(std::string_view s, std::size_t pos, std::string_view& column, std::string_view& amount) {
    std::size_t p = pos;
    while (p < s.size() && isIdentChar(s[p])) ++p;
    column = s.substr(pos, p - pos);
    if (column.empty() || std::isdigit(static_cast<unsigned char>(column[0]))) return 0;
    skipSpace(s, p);
    if (p == s.size() || s[p++] != '=') return 0;
    skipSpace(s, p);
    if (s.substr(p, column.size()) != column) return 0;
    p += column.size();
    if (p < s.size() && isIdentChar(s[p])) return 0;
    skipSpace(s, p);
    if (p == s.size() || s[p++] != '+') return 0;
    skipSpace(s, p);
    const std::size_t digits = p;
    while (p < s.size() && std::isdigit(static_cast<unsigned char>(s[p]))) ++p;
    if (p == digits || p - digits > 18 || (p < s.size() && (isIdentChar(s[p]) || s[p] == '.'))) return 0;
    amount = s.substr(digits, p - digits);
    return p - pos;
}

// "zd4=zd4+1" becomes "zd4=min(zd4,9223372036854775807-1)+1": a counter
// stops at the largest integer instead of turning into a REAL that the
// STRICT column then refuses.
std::string saturateIncrements(std::string_view sql) {
    std::string out;
    out.reserve(sql.size() + 32);
    std::size_t pos = 0;
    while (pos < sql.size()) {
        const char c = sql[pos];
        if (c == '\'' || c == '"') {
            const std::size_t end = quotedEnd(sql, pos);
            out += sql.substr(pos, end - pos);
            pos = end;
            continue;
        }
        std::string_view column, amount;
        const bool wordStart = isIdentChar(c) && (pos == 0 || !isIdentChar(sql[pos - 1]));
        if (const std::size_t n = wordStart ? matchIncrement(sql, pos, column, amount) : 0) {
            const std::string name(column), add(amount);
            out += name + "=min(" + name + ",9223372036854775807-" + add + ")+" + add;
            pos += n;
            continue;
        }
        out += c;
        ++pos;
    }
    return out;
}

}  // namespace

std::string toSqlite(std::string_view sql) {
    return rewriteTop(saturateIncrements(rewriteDateLiterals(sql)));
}

}  // namespace data::jet
