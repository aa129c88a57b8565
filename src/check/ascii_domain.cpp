#include "check/ascii_domain.h"

#include <algorithm>

#include "check/punycode.h"

namespace {

constexpr char ACE_PREFIX[] = "xn--";
constexpr std::size_t ACE_PREFIX_LENGTH = sizeof ACE_PREFIX - 1;

char32_t lower_ascii(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// The label's ASCII form into out at written (at most size in all); the
// new length, or 0.
std::size_t put_ascii_label(const char32_t* label, std::size_t length, char32_t* out,
                            std::size_t written, std::size_t size) {
    char32_t lowered[LONGEST_LABEL + 1] = {}; // cppcheck 2.17 follows length 0 into the encoder
    if (length > LONGEST_LABEL) {
        return 0; // its ASCII form is longer still
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (label[i] >= 0x80 && !maps_to_itself(label[i])) {
            return 0;
        }
        lowered[i] = lower_ascii(label[i]);
    }
    char encoded[LONGEST_LABEL + 1];
    const std::size_t encoded_length =
        punycode_encode(lowered, length, encoded, LONGEST_LABEL - ACE_PREFIX_LENGTH + 1);
    const std::size_t total = ACE_PREFIX_LENGTH + encoded_length;
    if (encoded_length == 0 || written + total > size) {
        return 0;
    }
    std::copy(ACE_PREFIX, ACE_PREFIX + ACE_PREFIX_LENGTH, out + written);
    std::copy(encoded, encoded + encoded_length, out + written + ACE_PREFIX_LENGTH);
    return written + total;
}

} // namespace

bool maps_to_itself(char32_t c) { return c >= 0xDF && c <= 0xFF && c != 0xF7; }

std::size_t ascii_domain(const char32_t* domain, std::size_t length, char32_t* out,
                         std::size_t size) {
    std::size_t written = 0;
    for (std::size_t begin = 0; begin <= length;) {
        const char32_t* end = std::find(domain + begin, domain + length, U'.');
        const auto label_length = static_cast<std::size_t>(end - (domain + begin));
        const bool beyond_ascii =
            std::any_of(domain + begin, end, [](char32_t c) { return c >= 0x80; });
        if (beyond_ascii) {
            written = put_ascii_label(domain + begin, label_length, out, written, size);
            if (written == 0) {
                return 0;
            }
        } else if (written + label_length <= size) {
            std::copy(domain + begin, end, out + written);
            written += label_length;
        } else {
            return 0;
        }
        begin += label_length + 1;
        if (begin <= length) {
            if (written == size) {
                return 0;
            }
            out[written++] = '.';
        }
    }
    return written;
}
