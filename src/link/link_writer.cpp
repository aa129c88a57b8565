#include "link/link_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "common/common.h"

namespace {

// , - . @ [ ] _ { | } ~
constexpr int SAFE_MARKS[] = {0x2C, 0x2D, 0x2E, 0x40, 0x5B, 0x5D, 0x5F, 0x7B, 0x7C, 0x7D, 0x7E};

constexpr bool is_safe_mark(int byte) {
    return std::any_of(std::begin(SAFE_MARKS), std::end(SAFE_MARKS),
                       [byte](int mark) { return mark == byte; });
}

// By byte value, not by the execution character set, so the classification
// is the same whatever the locale or platform.
constexpr bool is_safe_by_class(unsigned byte) {
    const bool digit = byte >= 0x30 && byte <= 0x39;
    const bool upper = byte >= 0x41 && byte <= 0x5A;
    const bool lower = byte >= 0x61 && byte <= 0x7A;
    return digit || upper || lower || is_safe_mark(static_cast<int>(byte));
}

// The safe set as two 64-bit masks over the values 0 to 127 (no byte above
// is safe).
constexpr std::uint64_t safe_mask(unsigned first_value) {
    std::uint64_t mask = 0;
    for (unsigned bit = 0; bit < 64; ++bit) {
        if (is_safe_by_class(first_value + bit)) {
            mask |= std::uint64_t{1} << bit;
        }
    }
    return mask;
}

constexpr std::uint64_t SAFE_VALUES_0_TO_63 = safe_mask(0);
constexpr std::uint64_t SAFE_VALUES_64_TO_127 = safe_mask(64);
// Safe, but a browser escapes them when it hands the link on: { | }, three
// values in a row.
constexpr unsigned FIRST_WIDENED_VALUE = '{';
constexpr unsigned WIDENED_VALUE_COUNT = 3;
constexpr std::uint64_t WIDENED_VALUES_64_TO_127 = ((std::uint64_t{1} << WIDENED_VALUE_COUNT) - 1)
                                                   << (FIRST_WIDENED_VALUE - 64);

// A bit test on constants: the branch on its result waits for no table load,
// which keeps the frequent mispredictions on text (blanks, umlauts) cheap.
inline bool in_masks(unsigned value, std::uint64_t mask_0_to_63, std::uint64_t mask_64_to_127) {
    const std::uint64_t mask = (value & 64U) != 0 ? mask_64_to_127 : mask_0_to_63;
    return value < 128U && ((mask >> (value & 63U)) & 1U) != 0;
}

inline bool is_safe_value(unsigned value) {
    return in_masks(value, SAFE_VALUES_0_TO_63, SAFE_VALUES_64_TO_127);
}

// The safe bytes that a browser also hands on as they are: the frequent
// case, decided by one bit test.
inline bool is_kept_value(unsigned value) {
    return in_masks(value, SAFE_VALUES_0_TO_63, SAFE_VALUES_64_TO_127 & ~WIDENED_VALUES_64_TO_127);
}

constexpr char LOWER_HEX_DIGITS[] = "0123456789abcdef";

// The two digits of every byte value, so that an escape takes no shifts.
struct HexPairs {
    char digits[256][2];
};

constexpr HexPairs build_hex_pairs() {
    HexPairs pairs{};
    for (unsigned value = 0; value < 256; ++value) {
        pairs.digits[value][0] = LOWER_HEX_DIGITS[value >> 4U];
        pairs.digits[value][1] = LOWER_HEX_DIGITS[value & 0x0FU];
    }
    return pairs;
}

constexpr HexPairs HEX_PAIRS = build_hex_pairs();

// The marks that both browsers hand on as they are; Chromium's a.href has
// already made "'" a "%27". Every other mark, control or byte from 0x80 on
// goes as "%XX". A "%" counts one: a lone one gets a note of its own.
constexpr char MARKS_HANDED_ON[] = "-_.!~*();/?:@&=+$,#[]%";

bool is_handed_on_as_is(unsigned char byte) {
    const bool digit = byte >= 0x30 && byte <= 0x39;
    const bool letter = (byte | 0x20U) >= 0x61 && (byte | 0x20U) <= 0x7A;
    return digit || letter || (byte != '\0' && std::strchr(MARKS_HANDED_ON, byte) != nullptr);
}

unsigned long long handed_on_length(const char* text) {
    unsigned long long length = 0;
    for (; *text != '\0'; ++text) {
        length += is_handed_on_as_is(static_cast<unsigned char>(*text)) ? 1 : 3;
    }
    return length;
}

} // namespace

bool is_safe_body_byte(int byte) {
    return byte >= 0 && byte < 256 && is_safe_value(static_cast<unsigned>(byte));
}

void write_link_opening(std::FILE* target, const char* recipient_name,
                        const char* recipient_address, const char* subject) {
    std::fprintf(target, "<a href=\"mailto:%s <%s>?subject=%s&body=", recipient_name,
                 recipient_address, subject);
}

int encode_body_byte(std::FILE* target, int byte) {
    // The value is taken as the byte 0 to 255 it is, also if a caller hands
    // over a plain (signed) char.
    const unsigned value = static_cast<unsigned char>(byte);
    if (is_kept_value(value)) {
        write_byte(static_cast<int>(value), target);
        return BODY_BYTE_AS_IS;
    }
    if (value - FIRST_WIDENED_VALUE < WIDENED_VALUE_COUNT) {
        write_byte(static_cast<int>(value), target);
        return BODY_BYTE_WIDENED;
    }
    write_byte('%', target);
    write_byte(HEX_PAIRS.digits[value][0], target);
    write_byte(HEX_PAIRS.digits[value][1], target);
    return BODY_BYTE_ESCAPED;
}

void write_link_closing(std::FILE* target, const char* recipient_name) {
    std::fprintf(target, "\">\nNachricht an %s\n</a>\n", recipient_name);
}

unsigned long long link_start_length(const char* recipient_name, const char* recipient_address,
                                     const char* subject) {
    // The fixed pieces as written: "mailto:", " <", ">?subject=", "&body=".
    return handed_on_length("mailto:") + handed_on_length(recipient_name) + handed_on_length(" <") +
           handed_on_length(recipient_address) + handed_on_length(">?subject=") +
           handed_on_length(subject) + handed_on_length("&body=");
}
