// The program's statements are written for the Jet engine; SQLite runs them
// after the few rewrites below.  Everything else in a statement (IN with a
// sub-select, increments such as zd5=zd5+60, the view v_b) means the same in
// both dialects.
#pragma once

#include <string>
#include <string_view>

namespace data::jet {

// Rewrites a UTF-8 statement of the Jet dialect into SQLite:
//  - "select [distinct] top N ..." becomes "select [distinct] ... limit N";
//  - a quoted 'yyyy-m-d h:m' or 'yyyy-m-d h:m:s' becomes 'YYYY-MM-DD HH:MM:SS';
//  - an increment "column=column+N" saturates at the largest 64-bit integer
//    instead of turning into a REAL.
// Other quoted strings are left alone.  Throws DataError on an impossible
// date-time literal (month 13, Feb 30, hour 24, ...), as Jet fails the
// conversion.  rnd(x) needs no rewrite: the connection registers it.
std::string toSqlite(std::string_view sql);

}  // namespace data::jet
