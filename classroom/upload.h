// The upload of outbox entries (data/outbox.h) to the class server.
#pragma once

#include "outbox.h"

#include <vector>

namespace classroom {

class Connection;

// Inserts the entries and their answers in one transaction; an entry whose
// id the server holds already for its class is left as it is, so sending
// again is harmless.  Returns how many entries were new.  Throws
// ServerError, and then nothing of the batch is stored: a refusal of the
// data (ServerError::refused()) stays a refusal when sent again.
int Upload(Connection& connection, const std::vector<data::outbox::Entry>& entries);

}  // namespace classroom
