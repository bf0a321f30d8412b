// The writes of one action (drawing a homework, one grading, the exit) as one
// transaction, so that a crash leaves the file as it was before the action or
// as after it, never half-way.
//
//     data::Transaction tx(datam);
//     datam.RunCommand(...);   // a failure shows "系统数据错!"; the others go on
//     datam.RunCommand(...);
//     tx.commit();
//
// The transaction takes the write lock at once (waiting up to the busy
// timeout for another program's write).  A scope left without commit() (an
// error raised on the way) rolls everything back.  When the transaction
// cannot start, cannot commit, or SQLite has had to roll it back (disk full,
// I/O error), the notice "系统数据错!" is shown and no further write of the
// scope runs, so nothing of the action is left half-done.  Scopes nest: an
// inner one joins the outer one, which alone commits.
#pragma once

namespace data {

class Tdatam;

class Transaction {
public:
    explicit Transaction(Tdatam& datam);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Tdatam& datam_;
    bool done_ = false;
};

}  // namespace data
