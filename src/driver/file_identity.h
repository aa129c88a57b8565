// Whether two names, or an open stream and a name, denote one file: asked
// of the operating system, so that a second name, a link or another
// spelling of the same file is found out too.
#pragma once

#include <cstdio>

// True if both names exist and denote the same file.
bool names_denote_same_file(const char* first_name, const char* second_name);

// True if the stream is a regular file and the name denotes that file. A
// pipe, a terminal or console, a device such as /dev/null or NUL, and a
// missing file never are.
bool stream_is_named_file(std::FILE* stream, const char* name);

// True if the stream is open on a directory, which holds no message to read
// (Wine hands a program started with its input closed a directory there).
bool stream_is_directory(std::FILE* stream);

// True if the stream is open on a regular file, which can be read again
// from its start.
bool stream_is_regular_file(std::FILE* stream);
