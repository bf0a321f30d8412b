// What went wrong with the database file, said in Chinese for the pupil's
// message box.  The data layer's errors are English sentences written for
// the log (standard error keeps them whole); the known ones are said again
// here in Chinese, with the file and table names they carry.  An error not
// known here comes back as it is.
#pragma once

#include <string>

namespace data {

// UTF-8 in, UTF-8 out.  Several problems joined by "; " are each said.
std::string chineseDetail(const std::string& englishDetail);

}  // namespace data
