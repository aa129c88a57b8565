// The run sequence: check the command line, open the streams, write the link.
#pragma once

#include <cstdio>

// Runs the program once and returns the final ErrorFlags, the exit status.
// A standard descriptor closed at start is first opened on the null device;
// "-" then names no stream for it.
int run(int argc, char** argv);

// The same run, with the streams that "-" stands for given explicitly
// (run() passes stdin and stdout), taken as open. The report still goes to
// stdout. A named message file is opened on standard_input in its place
// (freopen), so that stream must be a file stream; the run closes it once it
// has read it.
int run_with_streams(int argc, char** argv, std::FILE* standard_input, std::FILE* standard_output);
