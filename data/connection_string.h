// ADO-style connection strings: "key=value;key=value;...".
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace data {

// Keys are returned in lower case and compared that way; blanks around keys
// and unquoted values are dropped.  A value may be quoted with " or ', a
// doubled quote inside standing for one.  A later key replaces an earlier one.
std::map<std::string, std::string> parseConnectionString(std::string_view s);

}  // namespace data
