// The class server's tables and roles.
//
//   aoshu.pupils     school, class, pupil, login: which login role is whose
//                    machine (a pupil may have one login per machine)
//   aoshu.teachers   school, class, login: who reads which class
//   aoshu.homeworks  one row per grading (an outbox entry), keyed by school,
//                    class and the entry's id
//   aoshu.answers    the twenty answers of a grading, keyed by school, class,
//                    the grading's id and the slot
//
// Every key and every foreign key begins with (school, class), so a class's
// rows stay together and the tables can be spread over many servers by
// school without a key crossing from one to another (class-server.md).
//
// Two group roles: aoshu_pupil may insert homeworks and answers of the
// pupil its login belongs to and read its own pupils row, nothing else;
// aoshu_teacher may read the pupils, homeworks and answers of its classes.
// Row-level security enforces both; a login role is a member of one group.
#pragma once

#include <string>

namespace classroom {

class Connection;

inline constexpr const char* kPupilGroup = "aoshu_pupil";
inline constexpr const char* kTeacherGroup = "aoshu_teacher";

// Creates what is missing of the schema, the group roles and their rights;
// running it again changes nothing.  Needs a role that may create roles
// (the server's administrator).  Throws ServerError.
void InitSchema(Connection& connection);

// A pupil's login role (made, without password, when missing; the
// administrator gives it one with psql's \password) and its pupil.  The
// same login may not serve two pupils.  Throws ServerError.
void AddPupil(Connection& connection, const std::string& school, const std::string& className,
              const std::string& pupil, const std::string& login);

// A teacher's login role (made when missing) and a class it reads.
void AddTeacher(Connection& connection, const std::string& school, const std::string& className,
                const std::string& login);

}  // namespace classroom
