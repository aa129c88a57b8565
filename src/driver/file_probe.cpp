#include "driver/file_probe.h"

#if defined(_WIN32)

#include <windows.h>

PathKind path_kind(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::missing;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PathKind::directory;
    }
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::other : PathKind::regular;
}

FileStart read_file_start(const char* name, char* buffer, std::size_t size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool is_file =
        GetFileAttributesExA(name, GetFileExInfoStandard, &data) != 0 &&
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    if (!is_file || (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0)) {
        return {false, false, 0};
    }
    HANDLE handle =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {true, false, 0};
    }
    FileStart start{true, false, 0};
    DWORD got = 0;
    // NUL, the console and pipes are no disk files.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        start.holds_something = false;
    } else if (ReadFile(handle, buffer, static_cast<DWORD>(size), &got, nullptr) != 0) {
        start.read = true;
        start.length = got;
    }
    CloseHandle(handle);
    return start;
}

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PathKind path_kind(const char* name) {
    struct stat status = {};
    if (stat(name, &status) != 0) {
        return PathKind::missing;
    }
    if (S_ISDIR(status.st_mode)) {
        return PathKind::directory;
    }
    return S_ISREG(status.st_mode) ? PathKind::regular : PathKind::other;
}

namespace {

bool is_file_with_content(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_size > 0;
}

// Up to size bytes, however the file system hands them out.
std::size_t read_up_to(int descriptor, char* buffer, std::size_t size, bool& failed) {
    std::size_t length = 0;
    while (length < size) {
        const ssize_t got = read(descriptor, buffer + length, size - length);
        if (got <= 0) {
            failed = got < 0;
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    return length;
}

} // namespace

FileStart read_file_start(const char* name, char* buffer, std::size_t size) {
    struct stat status = {};
    if (stat(name, &status) != 0 || !is_file_with_content(status)) {
        return {false, false, 0};
    }
    // Non-blocking: should a pipe have taken the file's place since, the
    // open does not wait for a writer.
    const int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        return {true, false, 0};
    }
    FileStart start{true, false, 0};
    if (fstat(descriptor, &status) != 0 || !is_file_with_content(status)) {
        start.holds_something = false;
    } else {
        bool failed = false;
        start.length = read_up_to(descriptor, buffer, size, failed);
        start.read = !failed;
    }
    close(descriptor);
    return start;
}

#endif
