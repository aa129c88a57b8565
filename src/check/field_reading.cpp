#include "check/field_reading.h"

#include <algorithm>

#include "check/code_pages.h"
#include "check/html_entities.h"
#include "check/utf8.h"

namespace {

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;
constexpr char32_t FIRST_BEYOND_UNICODE = 0x110000;

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }

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
        value = std::min<char32_t>((value * (hex ? 16 : 10)) +
                                       hex_value(static_cast<unsigned char>(text[at])),
                                   FIRST_BEYOND_UNICODE);
        ++at;
    }
    if (at == digits_start) {
        return literal('&', position + 1);
    }
    at += text[at] == ';' ? 1 : 0;
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    if (value == 0 || surrogate || value >= FIRST_BEYOND_UNICODE) {
        value = REPLACEMENT_CHARACTER;
    } else if (value >= 0x80 && value <= 0x9F) {
        // As the HTML standard says: Windows-1252's characters ("&#133;" is
        // an ellipsis), its five unassigned bytes standing for themselves.
        value = code_page_character(CodePage::cp1252, static_cast<unsigned char>(value));
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
    const auto byte_at = [text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    std::uint8_t state = utf8_step(UTF8_ACCEPT, byte_at(position));
    if (state == UTF8_ACCEPT) {
        return literal(byte_at(position), position + 1);
    }
    if (state == UTF8_TROUBLE) {
        return literal(REPLACEMENT_CHARACTER, position + 1);
    }
    const unsigned lead = byte_at(position);
    char32_t value = lead & (0x3FU >> utf8_continuations(lead));
    std::size_t at = position + 1;
    while (state != UTF8_ACCEPT) {
        state = utf8_step(state, byte_at(at));
        if (state == UTF8_TROUBLE) { // a NUL ends the text too
            return literal(REPLACEMENT_CHARACTER, at);
        }
        value = (value << 6U) | (byte_at(at) & 0x3FU);
        ++at;
    }
    return literal(value, at);
}

// Appends code_point to M as UTF-8, each byte from page character index.
void append_utf8(FieldReading& reading, char32_t code_point, std::uint8_t index) {
    unsigned char bytes[4];
    const std::size_t count = encode_utf8(code_point, bytes);
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
        if (starts_escape(reading, k)) {
            reading.mail[reading.mail_length] = escaped_byte(
                reading.page[reading.handed_on[k + 1]], reading.page[reading.handed_on[k + 2]]);
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
    for (std::size_t position = 0; position < READING_LIMIT && text[position] != '\0';) {
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

bool page_reads_blank(const char* text) {
    for (std::size_t position = 0; text[position] != '\0';) {
        const PageCharacter read = read_page_character(text, position);
        const char32_t c = read.first;
        // The HTML standard's white space; a reference to two characters is
        // never white space.
        if (read.second != 0 || (c != ' ' && c != '\t' && c != '\n' && c != '\f' && c != '\r')) {
            return false;
        }
        position = read.next;
    }
    return true;
}
