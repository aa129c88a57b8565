// Notes on standard error for slips on the command line that the run
// itself takes as meant: the option "-h" typed as the target, a file name
// too long to open, an empty recipient name.
#pragma once

#include <cstdio>

// After a run whose fifth argument, the target, is "-h": the page went
// into a file of that name. Names the first later argument that is not
// "-h", the target most likely meant.
void write_target_option_note(std::FILE* out, int argc, char** argv);

// After error 2 or 3 for a name over 99 bytes: role is "Quelldatei" or
// "Zieldatei".
void write_long_file_name_note(std::FILE* out, const char* role);

// Where the page reads the name as nothing: the link says only
// "Nachricht an".
void write_empty_name_note(std::FILE* out, const char* recipient_name);
