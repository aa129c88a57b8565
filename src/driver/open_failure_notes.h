// Why a message file or target could not be opened, where it is not simply
// missing: the note after error 2 or 3.
#pragma once

#include <cstdio>

// source tells the message file from the target; name is the argument as
// typed, name_fits whether it fitted its field (at most 99 bytes),
// open_error the errno of the failed open. Writes nothing for "-" or a file
// that is simply missing.
void write_open_failure_note(std::FILE* out, bool source, const char* name, bool name_fits,
                             int open_error);
