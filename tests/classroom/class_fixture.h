// A class on the shared test server: the schema, its pupils and teacher,
// and outbox entries made up for them.
#pragma once

#include "outbox.h"
#include "pg.h"

#include <string>
#include <vector>

namespace classroom::testing {

inline const std::string kSchool = "实验小学";

// The login of pupil n of a class ("<prefix>p01"...).
std::string PupilLogin(const std::string& prefix, int n);

// Schema (made again: init is idempotent) and a class of `pupils` pupils
// named "学生01"..., with logins from PupilLogin and the teacher
// "<prefix>teacher".  Returns a superuser connection.
Connection MakeClass(const std::string& prefix, const std::string& className, int pupils);

// Homework n of a pupil on day `day` (Julian) with `right` answers right
// out of twenty; the id is made from the pupil's login and n.
data::outbox::Entry MakeEntry(const std::string& login, const std::string& className, const std::string& pupil,
                              int n, int day, int right);

// A connection as a login of the shared server.
Connection ConnectAs(const std::string& login);

}  // namespace classroom::testing
