// Declarations shared by the command driver and the link writers.
#pragma once

#include <cstddef>
#include <cstdio>

// Error bits; the final word is the exit status. A run ends with 0 or
// exactly one bit set, since every later stage runs only while it is 0.
inline constexpr int ERR_NO_ARGUMENTS = 1;
inline constexpr int ERR_TOO_FEW_ARGUMENTS = 2;
inline constexpr int ERR_SOURCE_NOT_FOUND = 4;
inline constexpr int ERR_TARGET_NOT_OPENED = 8;
inline constexpr int ERR_SAME_FILE = 16;
inline constexpr int ERR_TARGET_NOT_WRITTEN = 32;
inline constexpr int ERR_SOURCE_NOT_READ = 64;
// The target holds a file this program did not write, and the command line
// looks shifted or swapped: overwriting it would most likely lose it.
inline constexpr int ERR_TARGET_KEPT = 128;

// The process-wide error-flag word, 0 at start.
extern int ErrorFlags;

// Set to 1 by the option "-h": write a whole HTML page around the link.
extern int page_mode;

// Each field holds up to 99 bytes of text and the terminating NUL.
inline constexpr std::size_t FIELD_SIZE = 100;

struct LinkFields {
    char recipient_name[FIELD_SIZE];
    char recipient_address[FIELD_SIZE];
    char subject[FIELD_SIZE];
    char source_name[FIELD_SIZE];
    char target_name[FIELD_SIZE];
};

inline constexpr char PROGRAM_VERSION[] = "2.3";
inline constexpr char RELEASE_DATE[] = "21.11.2019";

// Byte I/O for the message stream. The body moves one byte at a time, so
// the per-call stream locking of getc/putc would dominate; this program has
// one thread and may use the unlocked forms where the platform has them.
inline int read_byte(std::FILE* stream) {
#if defined(_WIN32)
    return _getc_nolock(stream);
#elif defined(_POSIX_C_SOURCE) || defined(__unix__)
    return getc_unlocked(stream);
#else
    return std::getc(stream);
#endif
}

inline void write_byte(int byte, std::FILE* stream) {
#if defined(_WIN32)
    _putc_nolock(byte, stream);
#elif defined(_POSIX_C_SOURCE) || defined(__unix__)
    putc_unlocked(byte, stream);
#else
    std::putc(byte, stream);
#endif
}
