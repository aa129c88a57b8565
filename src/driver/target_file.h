// The named target, written so that a failed or interrupted run leaves it
// as it was: the link goes into a new file beside it
// (".NAME.kuvertpfeil-XXXXXX"), which takes the target's place only once
// it is complete, as sed -i and sort -o do. Where that cannot keep what the
// target is, it is written in place as before: a second hard link, a
// folder where no new file can be made, an owner or group the new file
// cannot be given, anything but a regular file (a FIFO, a device), and a
// link whose resolved path is too long.
#pragma once

#include <cstdio>

struct TargetFile {
    std::FILE* stream; // nullptr where the target cannot be written
    bool replaces;     // written into a new file that replaces the target
};

// Opens the target named for writing. Where it cannot be written, stream is
// nullptr and errno says why, as after fopen.
TargetFile open_target_file(const char* name);

// Closes the stream. Where the new file holds the whole link (complete and
// closed without error), it replaces the target; otherwise it is removed.
// Returns false where the close or the replacement failed.
bool close_target_file(const TargetFile& target, bool complete);
