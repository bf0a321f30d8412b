// One throw-away server for all the tests of a test program: started on
// first use, stopped and removed when the program ends.
#pragma once

#include "pg_server.h"

namespace classroom::testing {

PgServer& SharedServer();

}  // namespace classroom::testing
