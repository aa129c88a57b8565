// Preloaded into the program by a test: the first heap allocation ends the
// process with status 99, so a run that needs none can be told from one
// that does. The C library's own calls reach these too.
#include <cstddef>

#include <unistd.h>

namespace {

[[noreturn]] void trip() {
    constexpr char message[] = "heap_tripwire: the run allocated from the heap\n";
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    _exit(99);
}

} // namespace

extern "C" {
void* malloc(std::size_t) { trip(); }
void* calloc(std::size_t, std::size_t) { trip(); }
void* realloc(void*, std::size_t) { trip(); }
void* aligned_alloc(std::size_t, std::size_t) { trip(); }
int posix_memalign(void**, std::size_t, std::size_t) { trip(); }
void free(void*) {}
}
