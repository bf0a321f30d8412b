// A private Xvfb server for tests, on a display number it picks itself.
#pragma once

#include <string>
#include <sys/types.h>

class XServer {
public:
    XServer();  // throws std::runtime_error when Xvfb does not come up
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display() const { return display_; }  // e.g. ":12"

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A display name on which no X server listens.
std::string unusedDisplay();
