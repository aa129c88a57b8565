// The help text and the numbered error messages.
#pragma once

#include <cstdio>

// Prints the help text and, for each error bit set in flags, its numbered
// message to standard output. Reads argv[0] always, argv[4] for bits 4, 16
// and 64, argv[5] for bits 8, 32 and 128. Returns flags unchanged.
int print_report(int flags, char** argv);

// The same report, written to out.
int write_report(std::FILE* out, int flags, char** argv);

// Mail programs and browsers open mailto links only up to about this many
// characters; a longer one may do nothing, or arrive cut.
inline constexpr unsigned long long LONG_LINK_LENGTH = 2000;

// Writes the note that a link of this length (as a browser hands it on) is
// longer than LONG_LINK_LENGTH, to out.
void write_long_link_note(std::FILE* out, unsigned long long length);
