// Opens the database of a program folder as the start-up does, in a process
// of its own, so that tests can kill it, limit its file sizes or run it as
// another user.
//
//   jet_open_probe PROGRAM_DIR [--file-limit=BYTES] [--as-nobody]
//
// Prints "opening" before the open and "opened N" (N rows of b1) after it;
// exit status 0 when the database opened, 3 with the error on stderr when
// it did not.
#include "datam.h"

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: jet_open_probe PROGRAM_DIR [--file-limit=BYTES] [--as-nobody]\n";
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option.rfind("--file-limit=", 0) == 0) {
            // Writes beyond the limit fail as on a full disk.
            const rlim_t limit = std::stoull(option.substr(std::strlen("--file-limit=")));
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit size{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &size) != 0) return 2;
        } else if (option == "--as-nobody") {
            const uid_t nobody = 65534;
            if (setgid(nobody) != 0 || setuid(nobody) != 0) return 2;
        } else {
            return 2;
        }
    }
    std::cout << "opening" << std::endl;
    data::Tdatam datam;
    datam.programDir = argv[1];
    try {
        datam.OpenDatabase();
        datam.a_ls.setSql("select count(*) as n from b1");
        datam.a_ls.open();
        std::cout << "opened " << datam.a_ls.fieldByName("n").asInteger() << std::endl;
    } catch (const data::DataError& e) {
        std::cerr << e.what() << "\n";
        return 3;
    }
    return 0;
}
