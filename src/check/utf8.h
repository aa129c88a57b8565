// A strict UTF-8 recogniser, shared by the field checks and the message
// check: RFC 3629, so no overlong forms, no surrogates and nothing above
// U+10FFFF.
#pragma once

#include <cstddef>
#include <cstdint>

// One table step per byte. A NUL byte stops the recogniser too, for a
// message must not hold one: both end in UTF8_TROUBLE, which a caller sorts
// out with utf8_trouble, off the common path.
inline constexpr std::uint8_t UTF8_STATES = 12;
inline constexpr std::uint8_t UTF8_ACCEPT = 0;
inline constexpr std::uint8_t UTF8_TROUBLE = UTF8_STATES - 1;
struct Utf8Tables {
    std::uint8_t next[UTF8_STATES][256];
};
extern const Utf8Tables UTF8_TABLES;

// The state after byte: UTF8_ACCEPT between characters, UTF8_TROUBLE as
// said, anything else inside a character.
inline std::uint8_t utf8_step(std::uint8_t state, unsigned char byte) {
    return UTF8_TABLES.next[state][byte];
}

// The same steps for a reader that sees only some of the bytes, and knows
// that those it did not see were ASCII and not NUL: such bytes cut short a
// character that was open. Entry [row + 2 * byte + unseen] is the next
// state's row, state * UTF8_ROW, so that a step is one load; unseen is 1
// where such bytes went by before byte, else 0. UTF8_TOLD_BYTE steps into
// trouble from every state as well, so that its caller hears of it on the
// same rare path, with no test of its own.
inline constexpr unsigned char UTF8_TOLD_BYTE = '<';
inline constexpr unsigned UTF8_ROW = 2 * 256;
inline constexpr unsigned UTF8_TROUBLE_ROW = UTF8_TROUBLE * UTF8_ROW;
struct Utf8RowSteps {
    std::uint16_t next[UTF8_STATES * UTF8_ROW];
};
extern const Utf8RowSteps UTF8_ROW_STEPS;

// How many bytes of the character being read a state has taken.
unsigned utf8_bytes_taken(std::uint8_t state);

// What a step into UTF8_TROUBLE from previous on byte found, and the state
// to go on from, as if a character started at byte.
struct Utf8Trouble {
    bool broken; // a sequence that is no UTF-8, starting bytes_back before byte
    unsigned bytes_back;
    std::uint8_t resume;
};
Utf8Trouble utf8_trouble(std::uint8_t previous, unsigned char byte);

// How many continuation bytes follow a lead byte; 0 for any other byte.
inline unsigned utf8_continuations(unsigned lead) {
    if (lead >= 0xF0) {
        return 3;
    }
    if (lead >= 0xE0) {
        return 2;
    }
    return lead >= 0xC0 ? 1 : 0;
}

// Where the first byte of the first sequence that is not UTF-8 lies in
// bytes[0, length), a sequence cut off by the end included; length if none.
// A NUL byte is UTF-8 here.
template <typename Byte> std::size_t first_non_utf8(const Byte* bytes, std::size_t length) {
    std::uint8_t state = UTF8_ACCEPT;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t previous = state;
        const auto byte = static_cast<unsigned char>(bytes[i]);
        state = utf8_step(state, byte);
        if (state == UTF8_TROUBLE) {
            const Utf8Trouble trouble = utf8_trouble(previous, byte);
            if (trouble.broken) {
                return i - trouble.bytes_back;
            }
            state = trouble.resume;
        }
    }
    return length - utf8_bytes_taken(state);
}

// Writes code_point (at most U+10FFFF) as UTF-8 into bytes; returns how
// many it took, 1 to 4.
std::size_t encode_utf8(char32_t code_point, unsigned char (&bytes)[4]);

// The code point of the UTF-8 character at bytes[at], which must be whole
// and valid; at moves past it.
char32_t decode_utf8(const unsigned char* bytes, std::size_t& at);
