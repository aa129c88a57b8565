// The file that a target name stands for once its symbolic links are
// followed: a new file written beside it, and moved over it, replaces the
// file and keeps the link.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#include <windows.h>
inline constexpr std::size_t PATH_BUFFER_SIZE = MAX_PATH;
#else
#include <climits>
inline constexpr std::size_t PATH_BUFFER_SIZE = PATH_MAX;
#endif

// Writes into path the name of the file that name denotes, each symbolic
// link in its last part followed (a missing file is its own name). False
// where that path does not fit, or the links run in a loop; on Windows,
// where name is a link or another reparse point at all.
bool resolve_final_links(const char* name, char (&path)[PATH_BUFFER_SIZE]);

// How long the folder part of path is, its last separator included; 0 for
// a name in the current folder.
std::size_t folder_length(const char* path);
