#include "driver/target_guard.h"

#include <cstring>

#include "driver/file_identity.h"
#include "driver/file_probe.h"

namespace {

// How this program's link and page start, byte for byte.
constexpr char LINK_START[] = "<a href=\"mailto:";
constexpr char PAGE_START[] = "<!doctype html public \"-//w3c//dtd html 4.01 Transitional//en\"";
constexpr std::size_t START_SIZE = sizeof PAGE_START - 1;
static_assert(sizeof LINK_START - 1 <= START_SIZE);

template <std::size_t N>
bool starts_with(const char* bytes, std::size_t length, const char (&prefix)[N]) {
    return length >= N - 1 && std::memcmp(bytes, prefix, N - 1) == 0;
}

bool starts_as_our_output(const char* bytes, std::size_t length) {
    return starts_with(bytes, length, LINK_START) || starts_with(bytes, length, PAGE_START);
}

bool is_foreign_file(const char* name) {
    char start[START_SIZE];
    const FileStart read = read_file_start(name, start, sizeof start);
    return read.holds_something && (!read.read || !starts_as_our_output(start, read.length));
}

bool source_starts_as_our_output(std::FILE* source) {
    if (!stream_is_regular_file(source)) {
        return false;
    }
    char start[START_SIZE];
    const std::size_t length = std::fread(start, 1, sizeof start, source);
    // A source that cannot be read from its start again would give a link
    // of its middle: the target is kept then, as for a swapped line.
    if (std::fseek(source, 0, SEEK_SET) != 0) {
        return true;
    }
    std::clearerr(source);
    return starts_as_our_output(start, length);
}

} // namespace

bool target_must_be_kept(const char* target_name, bool shifted, std::FILE* source,
                         bool named_source) {
    // The cheap questions first: most runs look at no file here.
    if (std::strcmp(target_name, "-") == 0 || (!shifted && !named_source) ||
        !is_foreign_file(target_name)) {
        return false;
    }
    return shifted || source_starts_as_our_output(source);
}
