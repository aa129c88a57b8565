// How a field of the link is read where it lands. The field as typed (T)
// is read by the page as an attribute value (P: character references
// decoded), handed on by the browser's URL parser (U: P without tabs, line
// feeds and carriage returns), and decoded by the mail program (M: each
// "%xx" of U decoded once, as bytes that should be UTF-8).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Whether the page reads text as nothing, or as white space only: then the
// link's text shows nothing of it.
bool page_reads_blank(const char* text);

inline bool is_hex_digit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline unsigned hex_value(char32_t c) {
    return c <= '9' ? static_cast<unsigned>(c - '0')
                    : static_cast<unsigned>((c | 0x20U) - 'a' + 10);
}
// The byte that the escape "%" high low stands for.
inline unsigned char escaped_byte(char32_t high, char32_t low) {
    return static_cast<unsigned char>((hex_value(high) * 16) + hex_value(low));
}

// Whether c is one of the ASCII characters in set.
inline bool is_one_of(char32_t c, const char* set) {
    return c != 0 && c < 0x80 && std::strchr(set, static_cast<char>(c)) != nullptr;
}

// The characters that the browser's URL parser deletes from a link.
inline bool url_parser_deletes(char32_t c) { return c == '\t' || c == '\n' || c == '\r'; }

// Whether U's character k is a '%' with two hex digits after it in U: an
// escape that the mail program decodes.
inline bool starts_escape(const FieldReading& reading, std::size_t k) {
    return reading.page[reading.handed_on[k]] == '%' && k + 2 < reading.handed_on_length &&
           is_hex_digit(reading.page[reading.handed_on[k + 1]]) &&
           is_hex_digit(reading.page[reading.handed_on[k + 2]]);
}
