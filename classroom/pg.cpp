#include "pg.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace classroom {

namespace {

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// A failed result as ServerError; the sentence says what was being done.
[[noreturn]] void fail(const std::string& sentence, PGconn* conn, const PGresult* result) {
    std::string detail = result ? trimmed(PQresultErrorMessage(result)) : "";
    if (detail.empty()) detail = trimmed(PQerrorMessage(conn));
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    throw ServerError(sentence, detail, state ? state : "");
}

// The sentence for a refusal the server explains by its SQLSTATE.
std::string sentenceFor(const std::string& state) {
    if (state == "42501") return "班级服务器拒绝了这项操作：没有权限。";
    if (state.rfind("23", 0) == 0) return "班级服务器拒绝了这份数据：数据不符合要求。";
    if (state.rfind("08", 0) == 0 || state.rfind("57", 0) == 0) return "与班级服务器的连接中断了。";
    return "班级服务器执行操作失败。";
}

bool isLocalHost(const std::string& host) {
    // No host means the default unix socket; a path or an abstract socket
    // name is a unix socket too.
    return host.empty() || host.front() == '/' || host.front() == '@' || host == "localhost" ||
           host == "127.0.0.1" || host == "::1";
}

// Every host of a comma-separated list is local.
bool allLocal(const std::string& hosts) {
    std::size_t from = 0;
    while (true) {
        const std::size_t comma = hosts.find(',', from);
        if (!isLocalHost(hosts.substr(from, comma == std::string::npos ? std::string::npos : comma - from)))
            return false;
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

}  // namespace

ServerError::ServerError(std::string sentence, std::string detail, std::string state)
    : std::runtime_error(detail.empty() ? sentence : sentence + "（" + detail + "）"),
      sentence_(std::move(sentence)),
      detail_(std::move(detail)),
      state_(std::move(state)) {}

bool ServerError::refused() const {
    const std::string kind = state_.substr(0, 2);
    return kind == "22" || kind == "23" || kind == "42";
}

Result::~Result() { PQclear(result_); }
int Result::rows() const { return PQntuples(result_); }
int Result::columns() const { return PQnfields(result_); }
bool Result::isNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
// A cell outside the result reads as NULL ("", 0).
std::string Result::text(int row, int column) const {
    const char* value = PQgetvalue(result_, row, column);
    return value ? std::string(value, static_cast<std::size_t>(PQgetlength(result_, row, column))) : std::string();
}
long long Result::integer(int row, int column) const { return std::strtoll(text(row, column).c_str(), nullptr, 10); }
double Result::real(int row, int column) const { return std::strtod(text(row, column).c_str(), nullptr); }
long long Result::affected() const { return std::strtoll(PQcmdTuples(result_), nullptr, 10); }

Connection::Connection(const std::vector<std::string>& keywords, const std::vector<std::string>& values) {
    std::vector<const char*> k, v;
    for (const std::string& s : keywords) k.push_back(s.c_str());
    for (const std::string& s : values) v.push_back(s.c_str());
    k.push_back(nullptr);
    v.push_back(nullptr);
    conn_ = PQconnectdbParams(k.data(), v.data(), 0);
    if (!conn_) throw ServerError("无法连接班级服务器：内存不足。", "");
    if (PQstatus(conn_) != CONNECTION_OK) {
        const std::string detail = trimmed(PQerrorMessage(conn_));
        PQfinish(conn_);
        conn_ = nullptr;
        std::string sentence = "无法连接班级服务器，请检查服务器地址、网络和密码文件。";
        if (detail.find("password") != std::string::npos)
            sentence = "班级服务器拒绝登录：密码不对或密码文件（~/.pgpass）里没有这台服务器的密码。";
        else if (detail.find("SSL") != std::string::npos)
            sentence = "无法与班级服务器建立加密连接（TLS），请检查服务器的证书设置。";
        throw ServerError(sentence, detail);
    }
}

Connection::~Connection() {
    if (conn_) PQfinish(conn_);
}

Result Connection::exec(const std::string& sql, const std::vector<Param>& params) {
    std::vector<const char*> values;
    for (const Param& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result result(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                               nullptr, 0));
    // Result owns the PGresult from here on, also when the check throws.
    PGresult* raw = result.result_;
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* state = raw ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr;
        fail(sentenceFor(state ? state : "08000"), conn_, raw);
    }
    return result;
}

void Connection::script(const std::string& sql) {
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(conn_, sql.c_str()), PQclear);
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        fail(sentenceFor(state ? state : "08000"), conn_, result.get());
    }
}

std::string Connection::user() const { return PQuser(conn_); }
bool Connection::encrypted() const { return PQsslInUse(conn_) != 0; }

Transaction::Transaction(Connection& connection) : connection_(connection) { connection_.script("BEGIN"); }

Transaction::~Transaction() {
    if (!open_) return;
    try {
        connection_.script("ROLLBACK");
    } catch (const ServerError&) {
        // A broken connection has rolled back already.
    }
}

void Transaction::commit() {
    open_ = false;
    connection_.script("COMMIT");
}

std::string ConnectParams::value(const std::string& keyword) const {
    for (std::size_t i = 0; i < keywords.size(); ++i)
        if (keywords[i] == keyword) return values[i];
    return {};
}

ConnectParams ServerParams(const std::string& uri) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
    if (!options) {
        const std::string detail = trimmed(error);
        PQfreemem(error);
        throw ServerError("班级服务器的地址写得不对。", detail);
    }
    ConnectParams params;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val || !*o->val) continue;
        params.keywords.push_back(o->keyword);
        params.values.push_back(o->val);
    }
    PQconninfoFree(options);
    if (!params.value("password").empty())
        throw ServerError("班级服务器的地址里不能写密码：请把密码写进密码文件（~/.pgpass，权限 0600）。", "");
    // Without a host in the URI, libpq takes the environment's.
    auto fromEnvironment = [&params](const char* keyword, const char* variable) {
        std::string value = params.value(keyword);
        if (value.empty() && std::getenv(variable)) value = std::getenv(variable);
        return value;
    };
    const std::string host = fromEnvironment("host", "PGHOST");
    const std::string hostaddr = fromEnvironment("hostaddr", "PGHOSTADDR");
    const bool local = allLocal(host) && (hostaddr.empty() || allLocal(hostaddr));
    const std::string sslmode = params.value("sslmode");
    if (!local && sslmode != "require" && sslmode != "verify-ca" && sslmode != "verify-full") {
        for (std::size_t i = 0; i < params.keywords.size(); ++i)
            if (params.keywords[i] == "sslmode") params.values[i] = "require";
        if (sslmode.empty()) {
            params.keywords.push_back("sslmode");
            params.values.push_back("require");
        }
    }
    // All text of the program is UTF-8, whatever the environment says.
    for (std::size_t i = 0; i < params.keywords.size(); ++i)
        if (params.keywords[i] == "client_encoding") params.values[i] = "UTF8";
    if (params.value("client_encoding").empty()) {
        params.keywords.push_back("client_encoding");
        params.values.push_back("UTF8");
    }
    if (params.value("connect_timeout").empty()) {
        params.keywords.push_back("connect_timeout");
        params.values.push_back(std::to_string(kConnectTimeout));
    }
    return params;
}

Connection OpenServer(const std::string& uri) {
    const ConnectParams params = ServerParams(uri);
    return Connection(params.keywords, params.values);
}

std::string QuoteIdentifier(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace classroom
