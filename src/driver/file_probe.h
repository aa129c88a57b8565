// What a name denotes, asked of the operating system: for the guard that
// keeps a file from being overwritten by mistake, and for saying why a file
// could not be opened. Nothing but a regular file is ever opened here, so a
// pipe or a device is never read from or blocked on.
#pragma once

#include <cstddef>

enum class PathKind : unsigned char { missing, directory, regular, other };

PathKind path_kind(const char* name);

// The first bytes of a file, read with the platform's own calls.
struct FileStart {
    bool holds_something; // an existing regular file that is not empty
    bool read;            // and its first bytes could be read
    std::size_t length;   // how many of them are in the buffer
};

// Reads up to size bytes from the start of name into buffer, where name is
// an existing regular file that is not empty; anything else is left alone.
FileStart read_file_start(const char* name, char* buffer, std::size_t size);
