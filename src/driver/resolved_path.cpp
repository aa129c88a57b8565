#include "driver/resolved_path.h"

#include <cstring>

namespace {

bool is_separator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

// Copies length bytes of text into path at offset, and a NUL after them.
bool place(char (&path)[PATH_BUFFER_SIZE], std::size_t offset, const char* text,
           std::size_t length) {
    if (offset + length >= PATH_BUFFER_SIZE) {
        return false;
    }
    std::memmove(path + offset, text, length);
    path[offset + length] = '\0';
    return true;
}

} // namespace

std::size_t folder_length(const char* path) {
    std::size_t length = 0;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
        length = is_separator(path[i]) ? i + 1 : length;
    }
    return length;
}

#if defined(_WIN32)

bool resolve_final_links(const char* name, char (&path)[PATH_BUFFER_SIZE]) {
    const DWORD attributes = GetFileAttributesA(name);
    const bool reparse_point =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return !reparse_point && place(path, 0, name, std::strlen(name));
}

#else

#include <unistd.h>

namespace {

// As many links as Linux follows in one name before it says ELOOP.
constexpr int MOST_LINKS_FOLLOWED = 40;

} // namespace

bool resolve_final_links(const char* name, char (&path)[PATH_BUFFER_SIZE]) {
    if (!place(path, 0, name, std::strlen(name))) {
        return false;
    }
    char link[PATH_BUFFER_SIZE];
    for (int followed = 0; followed < MOST_LINKS_FOLLOWED; ++followed) {
        const ssize_t length = readlink(path, link, sizeof link);
        if (length < 0) {
            return true; // no link: the file itself, or none yet
        }
        const auto link_length = static_cast<std::size_t>(length);
        // A relative link is read from the folder that holds it.
        const std::size_t offset = link[0] == '/' ? 0 : folder_length(path);
        if (link_length >= sizeof link || !place(path, offset, link, link_length)) {
            return false;
        }
    }
    return false;
}

#endif
