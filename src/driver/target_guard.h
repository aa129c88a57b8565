// The guard against a mistyped command line that would overwrite a file:
// with the arguments shifted by one, or source and target swapped, the
// target named is often the message itself or another file of the user's.
#pragma once

#include <cstdio>

// Whether the run must leave the target alone: it names an existing regular
// file, not empty, that does not start as this program's output (one that
// cannot be read counts as not its output), and either the command line is
// shifted or the source is a regular file that does start so. source is
// the message stream, named_source whether it was opened by name; it is
// read from its start again afterwards. Pipes, devices and "-" are never
// looked at.
bool target_must_be_kept(const char* target_name, bool shifted, std::FILE* source,
                         bool named_source);
