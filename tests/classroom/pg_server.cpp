#include "pg_server.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace classroom::testing {

PgServer::PgServer() {
    char name[] = "/tmp/aoshu-pg-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("cannot make a temporary folder");
    folder_ = name;
    start();
    const std::size_t at = uri_.find("&port=");
    port_ = std::atoi(uri_.c_str() + at + 6);
}

PgServer::~PgServer() {
    try {
        stop();
    } catch (const std::exception&) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string PgServer::run(const std::string& command) {
    const std::string::size_type space = command.find(' ');
    const std::string line = std::string("python3 " PG_TEMP_SCRIPT " ") + command.substr(0, space) + " " + folder_ +
                             (space == std::string::npos ? "" : command.substr(space));
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + line);
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pclose(pipe) != 0) throw std::runtime_error(line + " failed");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// A watcher stops the server and removes the folder should this process end
// without its destructor (a crash, a kill, a test's abort).
void PgServer::start() { uri_ = run("start --owner " + std::to_string(getpid())); }
void PgServer::stop() { run("stop"); }

std::string PgServer::uriFor(const std::string& user, bool overTcp) const {
    if (overTcp) return "postgresql://" + user + "@127.0.0.1:" + std::to_string(port_) + "/postgres";
    return "postgresql:///postgres?host=" + folder_ + "&port=" + std::to_string(port_) + "&user=" + user;
}

}  // namespace classroom::testing

#include "shared_server.h"

#include <memory>

namespace classroom::testing {

PgServer& SharedServer() {
    static const std::unique_ptr<PgServer> server = std::make_unique<PgServer>();
    return *server;
}

}  // namespace classroom::testing
