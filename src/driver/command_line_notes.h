// Notes on standard error for slips on the command line that the run
// itself takes as meant: the option "-h" typed as the target, arguments
// that the program does not use, an empty recipient name.
#pragma once

#include <cstdio>

// An argument on the console as the notes show characters: printable ASCII
// as itself, any other byte as "%xx".
void write_argument(std::FILE* out, const char* argument);

// Whether the arguments look shifted: one after the fifth is not "-h",
// while the fifth, the target, is not "-h" either. An argument with blanks
// typed without quotes does that.
bool command_line_is_shifted(int argc, char** argv);

// The notes on the arguments themselves: where the fifth argument, the
// target, is "-h" (the page went into a file of that name; the first later
// argument that is not "-h" is most likely the target meant), then one for
// each later argument that is not "-h" and not named so.
void write_argument_notes(std::FILE* out, int argc, char** argv);

// Where the page reads the name as nothing: the link says only
// "Nachricht an".
void write_empty_name_note(std::FILE* out, const char* recipient_name);

// In page mode, where the program path that the page's generator element
// shows holds a '"', '&', '<' or '>': it breaks or changes the page's head.
void write_program_path_note(std::FILE* out, const char* program_path);
