#include "transaction.h"

#include "datam.h"

namespace data {

Transaction::Transaction(Tdatam& datam) : datam_(datam) {
    try {
        datam_.ADOConnection1.beginTransaction();
    } catch (const DataError& e) {
        datam_.reportStatementFailure("begin transaction", e);
    }
}

Transaction::~Transaction() {
    if (!done_) datam_.ADOConnection1.rollbackTransaction();
}

void Transaction::commit() {
    if (done_) return;
    done_ = true;
    try {
        datam_.ADOConnection1.commitTransaction();
    } catch (const DataError& e) {
        datam_.reportStatementFailure("commit", e);
    }
}

}  // namespace data
