#include "driver/target_file.h"

#include <cstring>

#include "driver/interrupt_cleanup.h"
#include "driver/resolved_path.h"

namespace {

// The file the link replaces, and the new file beside it. Static, so that
// the run path needs no heap and an interruption finds the name in place.
char replaced_path[PATH_BUFFER_SIZE];
char new_path[PATH_BUFFER_SIZE];

constexpr char NEW_NAME_MARK[] = ".kuvertpfeil-";
constexpr char NAME_LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t NAME_LETTER_COUNT = sizeof NAME_LETTERS - 1;
constexpr std::size_t RANDOM_LETTERS = 6;
// A name taken by another file is tried again with other letters.
constexpr int NAME_TRIES = 100;

enum class Existing : unsigned char { none, replaceable, in_place };

// Whether ".NAME.kuvertpfeil-XXXXXX" beside the replaced file fits the
// buffer; the name itself is written by write_new_name.
bool new_name_fits() {
    return std::strlen(replaced_path) + 1 + sizeof NEW_NAME_MARK - 1 + RANDOM_LETTERS <
           sizeof new_path;
}

void write_new_name(unsigned long long seed) {
    const std::size_t folder = folder_length(replaced_path);
    const char* base = replaced_path + folder;
    const std::size_t base_length = std::strlen(base);
    char* at = new_path;
    std::memcpy(at, replaced_path, folder);
    at += folder;
    *at++ = '.';
    std::memcpy(at, base, base_length);
    at += base_length;
    std::memcpy(at, NEW_NAME_MARK, sizeof NEW_NAME_MARK - 1);
    at += sizeof NEW_NAME_MARK - 1;
    for (std::size_t i = 0; i < RANDOM_LETTERS; ++i) {
        *at++ = NAME_LETTERS[seed % NAME_LETTER_COUNT];
        seed /= NAME_LETTER_COUNT;
    }
    *at = '\0';
}

// Knuth's MMIX step: the letters of the next try.
unsigned long long next_seed(unsigned long long seed) {
    return (seed * 6364136223846793005ULL) + 1442695040888963407ULL;
}

} // namespace

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

unsigned long long first_seed() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return next_seed(static_cast<unsigned long long>(counter.QuadPart) ^
                     (static_cast<unsigned long long>(GetCurrentProcessId()) << 32U));
}

// Opening the target for writing, without truncating it, tells whether the
// run may write it at all; NUL, CON and the other devices are no disk files.
Existing classify_target() {
    HANDLE handle = CreateFileA(replaced_path, GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Existing::none : Existing::in_place;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const bool replaceable = GetFileType(handle) == FILE_TYPE_DISK &&
                             GetFileInformationByHandle(handle, &information) != 0 &&
                             (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                             information.nNumberOfLinks == 1;
    CloseHandle(handle);
    return replaceable ? Existing::replaceable : Existing::in_place;
}

// With delete sharing: the console handler, on a thread of its own, may
// remove the file while the run still writes it.
std::FILE* make_new_file(Existing /*existing*/) {
    unsigned long long seed = first_seed();
    for (int tries = 0; tries < NAME_TRIES; ++tries, seed = next_seed(seed)) {
        write_new_name(seed);
        HANDLE handle = CreateFileA(new_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return nullptr;
        }
        const int descriptor =
            _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
        std::FILE* stream = descriptor < 0 ? nullptr : _fdopen(descriptor, "w");
        if (stream == nullptr && descriptor < 0) {
            CloseHandle(handle);
        } else if (stream == nullptr) {
            _close(descriptor);
        }
        if (stream == nullptr) {
            DeleteFileA(new_path);
        }
        return stream;
    }
    return nullptr;
}

bool move_new_file_into_place() {
    return MoveFileExA(new_path, replaced_path, MOVEFILE_REPLACE_EXISTING) != 0;
}

void remove_new_file() { DeleteFileA(new_path); }

} // namespace

#else

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

struct stat target_status;

unsigned long long first_seed() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return next_seed(static_cast<unsigned long long>(now.tv_usec) ^
                     (static_cast<unsigned long long>(now.tv_sec) << 20U) ^
                     (static_cast<unsigned long long>(getpid()) << 40U));
}

// A regular file with one name that the run may write is replaced; where
// the run may not write it, writing in place fails as it always did, and
// the target stays. The test opens it without truncating it, and a FIFO or
// a device is never opened here.
Existing classify_target() {
    if (stat(replaced_path, &target_status) != 0) {
        return errno == ENOENT ? Existing::none : Existing::in_place;
    }
    if (!S_ISREG(target_status.st_mode) || target_status.st_nlink > 1) {
        return Existing::in_place;
    }
    const int probe = open(replaced_path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) {
        return Existing::in_place;
    }
    close(probe);
    return Existing::replaceable;
}

// The target's owner, group and permission bits; the owner first, since a
// change of owner clears the set-user-ID bits.
bool take_over_attributes(int descriptor) {
    return fchown(descriptor, target_status.st_uid, target_status.st_gid) == 0 &&
           fchmod(descriptor, target_status.st_mode & 07777U) == 0;
}

int create_new_file(mode_t mode) {
    unsigned long long seed = first_seed();
    for (int tries = 0; tries < NAME_TRIES; ++tries, seed = next_seed(seed)) {
        write_new_name(seed);
        const int descriptor =
            open(new_path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    return -1;
}

// A new target gets 0666 less the umask, as fopen gives it; a replaced one
// starts private and takes the target's attributes.
std::FILE* make_new_file(Existing existing) {
    const int descriptor = create_new_file(existing == Existing::none ? 0666 : 0600);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* stream = nullptr;
    if (existing == Existing::none || take_over_attributes(descriptor)) {
        stream = fdopen(descriptor, "w");
    }
    if (stream == nullptr) {
        close(descriptor);
        unlink(new_path);
    }
    return stream;
}

bool move_new_file_into_place() { return rename(new_path, replaced_path) == 0; }

void remove_new_file() { unlink(new_path); }

} // namespace

#endif

TargetFile open_target_file(const char* name) {
    const Existing existing =
        resolve_final_links(name, replaced_path) ? classify_target() : Existing::in_place;
    if (existing == Existing::in_place || !new_name_fits()) {
        return {std::fopen(name, "w"), false};
    }
    remove_on_interrupt(new_path);
    std::FILE* stream = make_new_file(existing);
    if (stream == nullptr) {
        stop_removing_on_interrupt();
        return {std::fopen(name, "w"), false};
    }
    arm_removal_on_interrupt();
    return {stream, true};
}

bool close_target_file(const TargetFile& target, bool complete) {
    const bool closed = std::fclose(target.stream) == 0;
    if (!target.replaces) {
        return closed;
    }
    const bool moved = closed && complete && move_new_file_into_place();
    if (!moved) {
        remove_new_file();
    }
    stop_removing_on_interrupt();
    return closed && (moved || !complete);
}
