#include "link/field_reading.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "link/html_entities.h"

namespace {

// Byte classes: what a byte can be in UTF-8.
enum Utf8Class : std::uint8_t {
    NUL_BYTE,
    ASCII,
    CONTINUATION_80_8F,
    CONTINUATION_90_9F,
    CONTINUATION_A0_BF,
    LEAD_OF_TWO,   // C2-DF
    LEAD_E0,       // three bytes; A0-BF next, else overlong
    LEAD_OF_THREE, // E1-EC, EE-EF
    LEAD_ED,       // three bytes; 80-9F next, else a surrogate
    LEAD_F0,       // four bytes; 90-BF next, else overlong
    LEAD_OF_FOUR,  // F1-F3
    LEAD_F4,       // four bytes; 80-8F next, else beyond U+10FFFF
    NEVER,         // C0, C1, F5-FF
};

// States, each a row of UTF8_CLASSES entries; the comment says what comes
// next.
enum Utf8State : std::uint8_t {
    BETWEEN,
    TWO_TAKEN_ONE,    // any continuation
    THREE_TAKEN_ONE,  // any, then one more
    E0_TAKEN,         // A0-BF, then one more
    ED_TAKEN,         // 80-9F, then one more
    THREE_TAKEN_TWO,  // any continuation
    F0_TAKEN,         // 90-BF, then two more
    FOUR_TAKEN_ONE,   // any, then two more
    F4_TAKEN,         // 80-8F, then two more
    FOUR_TAKEN_TWO,   // any, then one more
    FOUR_TAKEN_THREE, // any continuation
    TROUBLE,
};

constexpr std::uint8_t BYTES_TAKEN[] = {0, 1, 1, 1, 1, 2, 1, 1, 1, 2, 3, 0};

constexpr Utf8Class class_of(unsigned byte) {
    if (byte == 0) {
        return NUL_BYTE;
    }
    if (byte < 0x80) {
        return ASCII;
    }
    if (byte < 0x90) {
        return CONTINUATION_80_8F;
    }
    if (byte < 0xA0) {
        return CONTINUATION_90_9F;
    }
    if (byte < 0xC0) {
        return CONTINUATION_A0_BF;
    }
    if (byte < 0xC2 || byte > 0xF4) {
        return NEVER;
    }
    if (byte < 0xE0) {
        return LEAD_OF_TWO;
    }
    if (byte == 0xE0 || byte == 0xED) {
        return byte == 0xE0 ? LEAD_E0 : LEAD_ED;
    }
    if (byte < 0xF0) {
        return LEAD_OF_THREE;
    }
    if (byte == 0xF0 || byte == 0xF4) {
        return byte == 0xF0 ? LEAD_F0 : LEAD_F4;
    }
    return LEAD_OF_FOUR;
}

constexpr Utf8Tables build_utf8_tables() {
    Utf8Tables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        tables.byte_class[byte] = class_of(byte);
    }
    std::fill(std::begin(tables.transition), std::end(tables.transition), UTF8_TROUBLE);
    const auto go = [&tables](Utf8State from, Utf8Class on, Utf8State to) {
        tables.transition[(from * UTF8_CLASSES) + on] =
            static_cast<std::uint8_t>(to * UTF8_CLASSES);
    };
    const auto on_any_continuation = [&go](Utf8State from, Utf8State to) {
        go(from, CONTINUATION_80_8F, to);
        go(from, CONTINUATION_90_9F, to);
        go(from, CONTINUATION_A0_BF, to);
    };
    go(BETWEEN, ASCII, BETWEEN);
    go(BETWEEN, LEAD_OF_TWO, TWO_TAKEN_ONE);
    go(BETWEEN, LEAD_E0, E0_TAKEN);
    go(BETWEEN, LEAD_OF_THREE, THREE_TAKEN_ONE);
    go(BETWEEN, LEAD_ED, ED_TAKEN);
    go(BETWEEN, LEAD_F0, F0_TAKEN);
    go(BETWEEN, LEAD_OF_FOUR, FOUR_TAKEN_ONE);
    go(BETWEEN, LEAD_F4, F4_TAKEN);
    on_any_continuation(TWO_TAKEN_ONE, BETWEEN);
    on_any_continuation(THREE_TAKEN_ONE, THREE_TAKEN_TWO);
    go(E0_TAKEN, CONTINUATION_A0_BF, THREE_TAKEN_TWO);
    go(ED_TAKEN, CONTINUATION_80_8F, THREE_TAKEN_TWO);
    go(ED_TAKEN, CONTINUATION_90_9F, THREE_TAKEN_TWO);
    on_any_continuation(THREE_TAKEN_TWO, BETWEEN);
    go(F0_TAKEN, CONTINUATION_90_9F, FOUR_TAKEN_TWO);
    go(F0_TAKEN, CONTINUATION_A0_BF, FOUR_TAKEN_TWO);
    on_any_continuation(FOUR_TAKEN_ONE, FOUR_TAKEN_TWO);
    go(F4_TAKEN, CONTINUATION_80_8F, FOUR_TAKEN_TWO);
    on_any_continuation(FOUR_TAKEN_TWO, FOUR_TAKEN_THREE);
    on_any_continuation(FOUR_TAKEN_THREE, BETWEEN);
    return tables;
}

} // namespace

constexpr Utf8Tables UTF8_TABLES = build_utf8_tables();

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

unsigned utf8_bytes_taken(std::uint8_t state) { return BYTES_TAKEN[state / UTF8_CLASSES]; }

Utf8Trouble utf8_trouble(std::uint8_t previous, unsigned char byte) {
    Utf8Trouble trouble{byte != 0 || previous != UTF8_ACCEPT, utf8_bytes_taken(previous),
                        UTF8_ACCEPT};
    if (byte != 0) {
        const std::uint8_t fresh = utf8_step(UTF8_ACCEPT, byte);
        trouble.resume = fresh == UTF8_TROUBLE ? UTF8_ACCEPT : fresh;
    }
    return trouble;
}
