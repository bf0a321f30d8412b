// Asks the single-instance guard once, as a separate program would.
// Usage: instance_probe CLASS TITLE; exit status 1 when another instance
// was seen, 0 when not.
#include "single_instance.h"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    return instance::anotherInstanceRunning(argv[1], argv[2]) ? 1 : 0;
}
