// The class server's command line, aoshu-class:
//
//   aoshu-class init    --server URI
//   aoshu-class pupil   --server URI [--school S] --class C --name P --login L
//   aoshu-class teacher --server URI [--school S] --class C --login L
//   aoshu-class report  --server URI [--class C] [--since YYYY-MM-DD] [--csv | --pdf FILE]
//
// Messages are Chinese (UTF-8) on err; the report goes to out (or FILE).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace classroom {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitServer = 1;   // the server could not be reached or refused
inline constexpr int kExitUsage = 2;    // the command line is wrong
inline constexpr int kExitFile = 3;     // the PDF could not be written

// Runs the command of args (without the program's name).  A PDF needs a
// QGuiApplication.
int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace classroom
