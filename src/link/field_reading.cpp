#include "link/field_reading.h"

#include <algorithm>
#include <cstring>

#include "link/html_entities.h"

// Byte classes and states of a strict UTF-8 recogniser; a state is a row
// of twelve classes.
// clang-format off
const std::uint8_t UTF8_BYTE_CLASS[256] = {
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0, 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0, 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0, 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0, 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,
    1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1, 9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9, // 80-8F, 90-9F
    7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7, 7,7,7,7,7,7,7,7,7,7,7,7,7,7,7,7, // A0-BF
    8,8,2,2,2,2,2,2,2,2,2,2,2,2,2,2, 2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2, // C0-C1 overlong
    10,3,3,3,3,3,3,3,3,3,3,3,3,4,3,3, 11,6,6,6,5,8,8,8,8,8,8,8,8,8,8,8, // E0 ED F0 F4 F5+
};
const std::uint8_t UTF8_TRANSITION[108] = {
     0,12,24,36,60,96,84,12,12,12,48,72, // between characters
    12,12,12,12,12,12,12,12,12,12,12,12, // rejected, for good
    12, 0,12,12,12,12,12, 0,12, 0,12,12, // one more continuation
    12,24,12,12,12,12,12,24,12,24,12,12, // two more
    12,12,12,12,12,12,12,24,12,12,12,12, // after E0: A0-BF, else overlong
    12,24,12,12,12,12,12,12,12,24,12,12, // after ED: 80-9F, else a surrogate
    12,12,12,12,12,12,12,36,12,36,12,12, // after F0: 90-BF, else overlong
    12,36,12,12,12,12,12,36,12,36,12,12, // three more
    12,36,12,12,12,12,12,12,12,12,12,12, // after F4: 80-8F, else beyond 10FFFF
};
// clang-format on

namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr char32_t FIRST_BEYOND_UNICODE = 0x110000;

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_ascii_alphanumeric(char c) {
    return is_decimal_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
unsigned hex_value(char32_t c) {
    return c <= '9' ? static_cast<unsigned>(c - '0')
                    : static_cast<unsigned>((c | 0x20U) - 'a' + 10);
}

PageCharacter literal(char32_t character, std::size_t next) { return {character, 0, next, false}; }

// "&#" at text[position]: digits up to the first that is none, a ';' after
// them taken along. Without digits it is no reference.
PageCharacter numeric_reference(const char* text, std::size_t position) {
    std::size_t at = position + 2;
    const bool hex = text[at] == 'x' || text[at] == 'X';
    at += hex ? 1 : 0;
    const std::size_t digits_start = at;
    char32_t value = 0;
    while (hex ? is_hex_digit(static_cast<unsigned char>(text[at])) : is_decimal_digit(text[at])) {
        // A number beyond Unicode stops growing, so none can wrap around.
        value = std::min<char32_t>(value * (hex ? 16 : 10) +
                                       hex_value(static_cast<unsigned char>(text[at])),
                                   FIRST_BEYOND_UNICODE);
        ++at;
    }
    if (at == digits_start) {
        return literal('&', position + 1);
    }
    at += text[at] == ';' ? 1 : 0;
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    // 80-9F stand for other characters beyond ASCII (Windows-1252's), which
    // no check tells apart from themselves.
    if (value == 0 || surrogate || value >= FIRST_BEYOND_UNICODE) {
        value = REPLACEMENT_CHARACTER;
    }
    return {value, 0, at, true};
}

// "&name" at text[position]. In an attribute value a name matched without
// its ';' stays as typed when a letter, digit or '=' follows.
PageCharacter named_reference(const char* text, std::size_t position) {
    const NamedReferenceMatch match = longest_named_reference(text + position + 1);
    const std::size_t next = position + 1 + match.length;
    const bool without_semicolon = match.length > 0 && text[next - 1] != ';';
    if (match.length == 0 ||
        (without_semicolon && (is_ascii_alphanumeric(text[next]) || text[next] == '='))) {
        return literal('&', position + 1);
    }
    return {match.first, match.second, next, true};
}

// One UTF-8 character; a sequence that goes wrong reads as U+FFFD up to
// the byte that broke it.
PageCharacter utf8_character(const char* text, std::size_t position) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::uint8_t state = utf8_step(UTF8_ACCEPT, bytes[position]);
    if (state == UTF8_ACCEPT) {
        return literal(bytes[position], position + 1);
    }
    if (state == UTF8_REJECT) {
        return literal(REPLACEMENT_CHARACTER, position + 1);
    }
    const unsigned lead = bytes[position];
    char32_t value = lead >= 0xF0 ? lead & 0x07U : lead >= 0xE0 ? lead & 0x0FU : lead & 0x1FU;
    std::size_t at = position + 1;
    while (state != UTF8_ACCEPT) {
        state = utf8_step(state, bytes[at]);
        if (state == UTF8_REJECT || bytes[at] == 0) {
            return literal(REPLACEMENT_CHARACTER, at);
        }
        value = (value << 6U) | (bytes[at] & 0x3FU);
        ++at;
    }
    return literal(value, at);
}

// Appends code_point to M as UTF-8, each byte from page character index.
void append_utf8(FieldReading& reading, char32_t code_point, std::uint8_t index) {
    unsigned char bytes[4];
    std::size_t count = 0;
    if (code_point < 0x80) {
        bytes[count++] = static_cast<unsigned char>(code_point);
    } else if (code_point < 0x800) {
        bytes[count++] = static_cast<unsigned char>(0xC0U | (code_point >> 6U));
        bytes[count++] = static_cast<unsigned char>(0x80U | (code_point & 0x3FU));
    } else if (code_point < 0x10000) {
        bytes[count++] = static_cast<unsigned char>(0xE0U | (code_point >> 12U));
        bytes[count++] = static_cast<unsigned char>(0x80U | ((code_point >> 6U) & 0x3FU));
        bytes[count++] = static_cast<unsigned char>(0x80U | (code_point & 0x3FU));
    } else {
        bytes[count++] = static_cast<unsigned char>(0xF0U | (code_point >> 18U));
        bytes[count++] = static_cast<unsigned char>(0x80U | ((code_point >> 12U) & 0x3FU));
        bytes[count++] = static_cast<unsigned char>(0x80U | ((code_point >> 6U) & 0x3FU));
        bytes[count++] = static_cast<unsigned char>(0x80U | (code_point & 0x3FU));
    }
    for (std::size_t i = 0; i < count; ++i) {
        reading.mail[reading.mail_length] = bytes[i];
        reading.mail_page_first[reading.mail_length] = index;
        reading.mail_page_last[reading.mail_length] = index;
        ++reading.mail_length;
    }
}

void append_page(FieldReading& reading, char32_t code_point, std::size_t typed_at) {
    reading.page[reading.page_length] = code_point;
    reading.page_typed_at[reading.page_length] = static_cast<std::uint8_t>(typed_at);
    ++reading.page_length;
}

bool url_parser_deletes(char32_t c) { return c == '\t' || c == '\n' || c == '\r'; }

void read_handed_on(FieldReading& reading) {
    reading.handed_on_length = 0;
    for (std::size_t i = 0; i < reading.page_length; ++i) {
        if (!url_parser_deletes(reading.page[i])) {
            reading.handed_on[reading.handed_on_length++] = static_cast<std::uint8_t>(i);
        }
    }
}

void read_mail(FieldReading& reading) {
    reading.mail_length = 0;
    const std::size_t count = reading.handed_on_length;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t index = reading.handed_on[k];
        const char32_t c = reading.page[index];
        if (c == '%' && k + 2 < count && is_hex_digit(reading.page[reading.handed_on[k + 1]]) &&
            is_hex_digit(reading.page[reading.handed_on[k + 2]])) {
            reading.mail[reading.mail_length] = static_cast<unsigned char>(
                (hex_value(reading.page[reading.handed_on[k + 1]]) * 16) +
                hex_value(reading.page[reading.handed_on[k + 2]]));
            reading.mail_page_first[reading.mail_length] = index;
            reading.mail_page_last[reading.mail_length] = reading.handed_on[k + 2];
            ++reading.mail_length;
            k += 2;
        } else {
            append_utf8(reading, c, index);
        }
    }
}

} // namespace

PageCharacter read_page_character(const char* text, std::size_t position) {
    if (text[position] != '&') {
        return utf8_character(text, position);
    }
    return text[position + 1] == '#' ? numeric_reference(text, position)
                                     : named_reference(text, position);
}

void read_field(const char* text, FieldReading& reading) {
    reading.page_length = 0;
    for (std::size_t position = 0; text[position] != '\0' && position < READING_LIMIT;) {
        const PageCharacter read = read_page_character(text, position);
        append_page(reading, read.first, position);
        if (read.second != 0) {
            append_page(reading, read.second, position);
        }
        position = read.next;
    }
    read_handed_on(reading);
    read_mail(reading);
}

std::size_t first_non_utf8(const unsigned char* bytes, std::size_t length) {
    std::uint8_t state = UTF8_ACCEPT;
    std::size_t sequence_start = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (state == UTF8_ACCEPT) {
            sequence_start = i;
        }
        state = utf8_step(state, bytes[i]);
        if (state == UTF8_REJECT) {
            return sequence_start;
        }
    }
    return state == UTF8_ACCEPT ? length : sequence_start;
}
