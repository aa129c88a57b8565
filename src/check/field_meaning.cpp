#include "check/field_meaning.h"

#include <algorithm>

#include "check/utf8.h"

namespace {

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// P with its raw tabs and line breaks made blanks, or left out of an
// address.
std::size_t blank_raw_spaces(const FieldReading& reading, bool address, char32_t* out) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < reading.page_length; ++i) {
        const char32_t c = reading.page[i];
        if (!url_parser_deletes(c)) {
            out[length++] = c;
        } else if (!address) {
            out[length++] = ' ';
        }
    }
    return length;
}

// The characters as bytes, each "%xx" decoded once.
std::size_t decode_escapes(const char32_t* text, std::size_t length, unsigned char* out) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '%' && i + 2 < length && is_hex_digit(text[i + 1]) &&
            is_hex_digit(text[i + 2])) {
            out[count++] = escaped_byte(text[i + 1], text[i + 2]);
            i += 2;
            continue;
        }
        unsigned char bytes[4];
        const std::size_t taken = encode_utf8(text[i], bytes);
        std::copy(bytes, bytes + taken, out + count);
        count += taken;
    }
    return count;
}

// Runs of blanks in meaning made one, the ends trimmed.
void fold_blanks(FieldMeaning& meaning) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < meaning.length; ++i) {
        const char32_t c = meaning.characters[i];
        if (c == ' ' && (length == 0 || meaning.characters[length - 1] == ' ')) {
            continue;
        }
        meaning.characters[length++] = c;
    }
    if (length > 0 && meaning.characters[length - 1] == ' ') {
        --length;
    }
    meaning.length = length;
}

} // namespace

FieldMeaning field_meaning(LinkField which, const char* text) {
    const bool address = which == LinkField::recipient_address;
    FieldReading reading{};
    read_field(text, reading);
    char32_t spaced[READING_LIMIT];
    const std::size_t spaced_length = blank_raw_spaces(reading, address, spaced);
    unsigned char bytes[4 * READING_LIMIT];
    const std::size_t byte_count = decode_escapes(spaced, spaced_length, bytes);

    FieldMeaning meaning{};
    meaning.exists = first_non_utf8(bytes, byte_count) == byte_count;
    if (!meaning.exists) {
        return meaning;
    }
    for (std::size_t at = 0; at < byte_count;) {
        char32_t c = decode_utf8(bytes, at);
        // The same three that the browser deletes raw, now from escapes.
        if (url_parser_deletes(c) && !address) {
            c = ' ';
        } else if (is_control(c)) {
            continue;
        }
        meaning.characters[meaning.length++] = c;
    }
    fold_blanks(meaning);
    const char32_t* characters = meaning.characters;
    if (which == LinkField::recipient_name && meaning.length >= 2 && characters[0] == '"' &&
        characters[meaning.length - 1] == '"') {
        std::copy(characters + 1, characters + meaning.length - 1, meaning.characters);
        meaning.length -= 2;
        fold_blanks(meaning);
    }
    return meaning;
}

bool same_meaning(const FieldMeaning& a, const FieldMeaning& b) {
    return a.exists == b.exists && a.length == b.length &&
           std::equal(a.characters, a.characters + a.length, b.characters);
}
