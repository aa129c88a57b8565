#include "driver/standard_descriptors.h"

#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>

namespace {

constexpr char NULL_DEVICE[] = "NUL";

// The runtime gives a descriptor without a handle (none inherited) the
// value -2, an unused one -1.
bool is_closed(int descriptor) { return _get_osfhandle(descriptor) < 0; }
int open_null_device() { return _open(NULL_DEVICE, _O_RDWR); }
void move_descriptor(int from, int to) {
    _dup2(from, to);
    _close(from);
}

} // namespace

#else

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char NULL_DEVICE[] = "/dev/null";

bool is_closed(int descriptor) { return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF; }
int open_null_device() { return open(NULL_DEVICE, O_RDWR); }
void move_descriptor(int from, int to) {
    dup2(from, to);
    close(from);
}

} // namespace

#endif

unsigned reopen_closed_standard_descriptors() {
    unsigned closed = 0;
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (!is_closed(descriptor)) {
            continue;
        }
        closed |= 1U << static_cast<unsigned>(descriptor);
        // The lowest free number: this one, as those below it are open.
        const int null_device = open_null_device();
        if (null_device >= 0 && null_device != descriptor) {
            move_descriptor(null_device, descriptor);
        }
    }
    return closed;
}
