// The data module: the one database connection, its three query objects and
// the two statement helpers through which the program's statements pass.
#pragma once

#include "error_text.h"
#include "outbox.h"
#include "pupil_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace data {

// Raised by the connection and query objects: a statement that fails, a
// field that does not exist, a read from a closed query, a value that does
// not convert.  Messages are plain UTF-8 text; the error box leads with the
// sentence for the pupil.
struct DataError : ui::PupilError {
    explicit DataError(const std::string& detail, std::string lead = "读取数据时出错，无法继续。")
        : ui::PupilError(std::move(lead), detail) {}
    std::string shownDetail() const override { return chineseDetail(what()); }
};

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};

// A field of the current row.  At the end of a result (no current row) every
// field reads as null: 0, "" and no date-time.
class Field {
public:
    bool isNull() const;
    // Integer value; null reads 0, a text that is not a whole number throws.
    long long asInteger() const;
    // Text in GBK; null reads "", numbers read in decimal.
    std::string asString() const;
    // Date-time; null reads nothing, a text that is not a date-time throws.
    std::optional<DateTime> asDateTime() const;
    // Binary value (a blob) as bytes; null reads empty.
    std::vector<unsigned char> asBytes() const;

    struct Value;  // defined in the implementation
    explicit Field(std::shared_ptr<const Value> v, std::string name);

private:
    std::shared_ptr<const Value> value_;
    std::string name_;
};

class Connection;

// A statement object.  Queries that return rows are static cursors: open()
// reads the whole result, so the rows stay readable while other statements
// run on the same connection.
class Query {
public:
    explicit Query(Connection& connection, std::string designSql = {});
    ~Query();

    void close();                   // harmless when closed
    bool active() const;            // open with a result
    void setSql(std::string gbkSql);  // also closes the query and clears the parameters
    // Integer values for the statement's "?" placeholders, in order: data
    // that never becomes statement text.
    void setParameters(std::vector<long long> values);
    const std::string& sql() const;
    // Runs the statement and keeps its rows; does nothing when already open.
    // Throws DataError (the query stays closed) on failure or when the
    // statement returns no rows.  One statement per text.
    void open();
    void execSql();                 // runs a statement that returns no rows; throws DataError
    bool eof() const;               // true when closed or past the last row
    void next();                    // nothing at the end; throws DataError when closed
    std::size_t recordCount() const;
    // Field by name, compared without regard to case.  Throws DataError when
    // the query is closed or has no such column.
    Field fieldByName(std::string_view name) const;

private:
    struct Result;
    Connection& connection_;
    std::string sql_;
    std::vector<long long> parameters_;
    std::unique_ptr<Result> result_;
};

// The connection ("ADOConnection1").  Opened from an ADO-style connection
// string; see docs/database.md.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setConnectionString(std::string s);
    const std::string& connectionString() const;
    // Opens the file named by Data Source, checks it and the password.  A
    // Jet 4.0 file is converted into our format in its place first
    // (jet_convert.h).  Throws DataError on any failure; the file is left
    // unchanged.
    void open();
    void close();
    bool connected() const;

    // Transactions, counted: only the outermost begin and commit reach the
    // file (see Transaction).  beginTransaction takes the write lock at once
    // and throws DataError when it cannot; the transaction then counts as
    // lost.  While a transaction is lost, statements that write throw
    // DataError instead of running on their own.  commitTransaction throws
    // DataError when the commit fails or the transaction was lost; either
    // way the transaction has ended.  rollbackTransaction never throws.
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction() noexcept;
    int transactionDepth() const { return transactionDepth_; }

    struct Impl;
    Impl& impl();

private:
    std::string connectionString_;
    std::unique_ptr<Impl> impl_;
    int transactionDepth_ = 0;
};

// The data module "datam".
class Tdatam {
public:
    Tdatam();
    ~Tdatam();

    Connection ADOConnection1;
    Query a_ls;  // shared result set of RunQuery
    Query a_cp;  // statement object of RunCommand
    Query aft;   // picture reads

    // The folder holding dat/kelvma.dat: the executable's, or the user's copy
    // (app/data_place.h); absolute, no trailing slash except for the root, in
    // the file system's own encoding (UTF-8 bytes, not GBK):
    // it only ever goes into the connection string and back to the file
    // system.  Set by the process entry; tests point it elsewhere.
    std::string programDir;

    // The class this machine's pupil belongs to (class mode); without it no
    // grading goes to the class outbox.
    std::optional<outbox::Member> classMember;

    // Called with "系统数据错!" (GBK) when RunQuery or RunCommand fails.
    std::function<void(const std::string&)> showNotice;

    void DataModuleCreate();
    // The connection string exactly as the program has always built it, for
    // the given program directory.
    static std::string BuildConnectionString(const std::string& programDir);
    // Builds the connection string from programDir and opens the connection.
    // Throws DataError on failure.
    void OpenDatabase();

    void RunQuery(std::string_view gbkSql);
    void RunCommand(std::string_view gbkSql);
    // What RunQuery and RunCommand do with a failed statement: the detail to
    // stderr, the notice "系统数据错!" on screen.  gbkSql names the statement.
    void reportStatementFailure(std::string_view gbkSql, const std::exception& error);

    // A picture read through aft: the binary column of the first row the
    // statement returns (empty for NULL), with values for its "?"
    // placeholders.  A failure is not caught here: it ends the operation
    // under way with the error box.
    std::vector<unsigned char> ReadPicture(std::string gbkSql, std::string_view column,
                                           std::vector<long long> parameters = {});

    // Turns a scrambled column value back into clear GBK text.
    static std::string UnscrambleField(std::string_view stored, long long key);
};

}  // namespace data
