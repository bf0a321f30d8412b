// A throw-away PostgreSQL server for a test: made in a temporary folder by
// pg_temp.py (as the user postgres when the test runs as root), listening
// on a unix socket in that folder and on 127.0.0.1, removed at the end.
#pragma once

#include <string>

namespace classroom::testing {

class PgServer {
public:
    PgServer();   // made and started; throws std::runtime_error on failure
    ~PgServer();  // stopped and removed
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    void stop();
    void start();  // again, on the same data and port

    // The superuser over the unix socket.
    const std::string& superuserUri() const { return uri_; }
    // A URI for user on database postgres, over the socket or over TCP.
    std::string uriFor(const std::string& user, bool overTcp = false) const;
    const std::string& folder() const { return folder_; }
    int port() const { return port_; }

private:
    std::string run(const std::string& command);
    std::string folder_;
    std::string uri_;
    int port_ = 0;
};

}  // namespace classroom::testing
