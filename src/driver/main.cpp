// The process entry: hands the argument vector to the run, and its result
// back as the exit status.
#include "driver/run.h"

#if defined(__MINGW32__)
// A Windows shell leaves wildcards to the program: have the runtime's
// start-up expand them, as a shell does elsewhere.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int argc, char** argv) { return run(argc, argv); }
