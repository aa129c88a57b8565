// How a field of the link is read where it lands. The field as typed (T)
// is read by the page as an attribute value (P: character references
// decoded), handed on by the browser's URL parser (U: P without tabs, line
// feeds and carriage returns), and decoded by the mail program (M: each
// "%xx" of U decoded once, as bytes that should be UTF-8).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/common.h"

// A field is read from at most this many typed bytes: the field itself, or
// a little more of its argument, to see what the cut to 99 bytes changed.
inline constexpr std::size_t READING_LIMIT = FIELD_SIZE + 64;

// One character as the page reads it at a typed position: a character
// reference stands for one character or two.
struct PageCharacter {
    char32_t first;
    char32_t second;  // 0 where there is one
    std::size_t next; // where the next one starts in the typed text
    bool referenced;  // written as a character reference
};

// The character at text[position] (NUL-terminated) as the page's parser
// reads it inside an attribute value. Bytes that are not UTF-8 read as
// U+FFFD, as the page declares UTF-8.
PageCharacter read_page_character(const char* text, std::size_t position);

struct FieldReading {
    // P: code points, each with where it was typed.
    char32_t page[READING_LIMIT];
    std::uint8_t page_typed_at[READING_LIMIT];
    std::size_t page_length;
    // U: the indexes in P of the characters the browser hands on.
    std::uint8_t handed_on[READING_LIMIT];
    std::size_t handed_on_length;
    // M: bytes, each with the first and last character of P it came from
    // (an escape "%xx" spans three).
    unsigned char mail[4 * READING_LIMIT];
    std::uint8_t mail_page_first[4 * READING_LIMIT];
    std::uint8_t mail_page_last[4 * READING_LIMIT];
    std::size_t mail_length;
};

// Reads text (NUL-terminated, at most READING_LIMIT bytes) as P, U and M.
void read_field(const char* text, FieldReading& reading);

// A run of bytes that strict UTF-8 (RFC 3629) forbids: no overlong forms,
// no surrogates, nothing above U+10FFFF. One step per byte.
inline constexpr std::uint8_t UTF8_ACCEPT = 0;
inline constexpr std::uint8_t UTF8_REJECT = 12;
extern const std::uint8_t UTF8_BYTE_CLASS[256];
extern const std::uint8_t UTF8_TRANSITION[108];

// The state after byte: UTF8_ACCEPT between characters, UTF8_REJECT for
// good once a sequence went wrong, anything else inside a character.
inline std::uint8_t utf8_step(std::uint8_t state, unsigned char byte) {
    return UTF8_TRANSITION[state + UTF8_BYTE_CLASS[byte]];
}

// Where the first byte of the first sequence that is not UTF-8 lies in
// bytes[0, length), a sequence cut off by the end included; length if none.
std::size_t first_non_utf8(const unsigned char* bytes, std::size_t length);
