// Preloaded into the program by a test: closing a stream other than the
// standard ones closes it, then reports failure, as a network file system
// or a full quota does when the data did not arrive.
#include <cerrno>
#include <cstdio>

#include <dlfcn.h>

extern "C" int fclose(std::FILE* stream) {
    using Close = int (*)(std::FILE*);
    static const auto real_fclose = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "fclose"));
    const bool standard = fileno(stream) <= 2;
    const int result = real_fclose(stream);
    if (standard) {
        return result;
    }
    errno = EIO;
    return EOF;
}
