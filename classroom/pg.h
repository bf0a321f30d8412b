// A small layer over libpq for the class server: a connection, a result,
// parameterised statements and transactions, each released on destruction.
// Failures throw ServerError, which carries a Chinese sentence for the
// person at the machine and the server's own words for the administrator.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace classroom {

class ServerError : public std::runtime_error {
public:
    // sentence: Chinese (UTF-8), what went wrong; detail: the server's or
    // libpq's text, may be empty; state: the SQLSTATE, when the server sent one.
    ServerError(std::string sentence, std::string detail, std::string state = {});
    const std::string& sentence() const { return sentence_; }
    const std::string& detail() const { return detail_; }
    const std::string& state() const { return state_; }
    // The server refused the data or the right to write it (SQLSTATE
    // classes 22, 23 and 42): sending the same again is refused again.
    bool refused() const;

private:
    std::string sentence_;
    std::string detail_;
    std::string state_;
};

// A statement's parameter; nullopt sends NULL.
using Param = std::optional<std::string>;

class Result {
public:
    explicit Result(pg_result* result) : result_(result) {}
    ~Result();
    Result(Result&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
    Result& operator=(Result&&) = delete;
    Result(const Result&) = delete;

    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    // The value as text; NULL, and a cell outside the result, read "".
    std::string text(int row, int column) const;
    // The value as a number; NULL reads 0.
    long long integer(int row, int column) const;
    double real(int row, int column) const;
    // The rows an INSERT, UPDATE or DELETE touched.
    long long affected() const;

private:
    friend class Connection;
    pg_result* result_;
};

class Connection {
public:
    // Connects with libpq keywords and values (as PQconnectdbParams);
    // throws ServerError when the server cannot be reached or refuses.
    Connection(const std::vector<std::string>& keywords, const std::vector<std::string>& values);
    ~Connection();
    Connection(Connection&& other) noexcept : conn_(other.conn_) { other.conn_ = nullptr; }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // One statement with $1, $2, ... parameters, sent apart from the text.
    Result exec(const std::string& sql, const std::vector<Param>& params = {});
    // Several statements without parameters (schema scripts).
    void script(const std::string& sql);

    // The role the connection is logged in as.
    std::string user() const;
    // True when the connection is encrypted with TLS.
    bool encrypted() const;

private:
    pg_conn* conn_;
};

// BEGIN now; ROLLBACK on destruction unless commit() ran.
class Transaction {
public:
    explicit Transaction(Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& connection_;
    bool open_ = true;
};

// How OpenServer reaches a server: the libpq keywords and values of uri
// (a postgresql:// URI or "key=value" text), with what the class server
// requires added.  Throws ServerError for a URI libpq cannot read and for
// one that carries a password (passwords belong in libpq's password file).
// A host that is not this machine gets sslmode=require unless the URI asks
// for require, verify-ca or verify-full; connect_timeout defaults to
// kConnectTimeout seconds; the client encoding is always UTF8.
struct ConnectParams {
    std::vector<std::string> keywords;
    std::vector<std::string> values;
    std::string value(const std::string& keyword) const;  // "" when absent
};
inline constexpr int kConnectTimeout = 5;
ConnectParams ServerParams(const std::string& uri);

// Connects to the class server of uri (see ServerParams).
Connection OpenServer(const std::string& uri);

// An identifier in double quotes with every double quote doubled: for the
// few places where SQL takes no parameters (role names in CREATE ROLE, GRANT).
std::string QuoteIdentifier(const std::string& name);

}  // namespace classroom
