#include "link/link_check.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/common.h"
#include "link/html_entities.h"

namespace {

constexpr std::size_t NOWHERE = static_cast<std::size_t>(-1);

// A character the field reads as, beyond ASCII: no check looks at those.
constexpr unsigned char NON_ASCII = 0x80;
constexpr long REPLACEMENT_CHARACTER = 0xFFFD;
constexpr long FIRST_BEYOND_UNICODE = 0x110000;

bool is_decimal_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) {
    return is_decimal_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_letter_or_digit(char c) {
    return is_decimal_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
unsigned hex_value(char c) {
    if (is_decimal_digit(c)) {
        return static_cast<unsigned>(c - '0');
    }
    return static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

// One character of the field as a browser reads it from the page, and
// where the next one starts in the typed text.
struct ReadCharacter {
    unsigned char character;
    std::size_t next;
    bool referenced; // written as "&...;"
};

// "&#123;" or "&#x7b;" at text: the code point, with the end in next; -1
// where there is no complete reference. A number beyond Unicode stops
// growing, so none can wrap around to a harmless value.
long numeric_reference(const char* text, std::size_t& next) {
    std::size_t position = 2; // past "&#"
    unsigned base = 10;
    if (text[position] == 'x' || text[position] == 'X') {
        base = 16;
        ++position;
    }
    const std::size_t digits_start = position;
    long value = 0;
    while (base == 16 ? is_hex_digit(text[position]) : is_decimal_digit(text[position])) {
        value = value * static_cast<long>(base) + static_cast<long>(hex_value(text[position]));
        value = std::min(value, FIRST_BEYOND_UNICODE);
        ++position;
    }
    if (position == digits_start || text[position] != ';') {
        return -1;
    }
    next = position + 1;
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return value == 0 || surrogate || value >= FIRST_BEYOND_UNICODE ? REPLACEMENT_CHARACTER : value;
}

// "&auml;" at text: the code point of an HTML 4.01 name, or -1.
long named_reference(const char* text, std::size_t& next) {
    std::size_t position = 1;
    while (is_letter_or_digit(text[position])) {
        ++position;
    }
    if (text[position] != ';') {
        return -1;
    }
    const long code_point = html_entity_code_point(text + 1, position - 1);
    if (code_point >= 0) {
        next = position + 1;
    }
    return code_point;
}

ReadCharacter read_character_at(const char* text, std::size_t position) {
    const char* here = text + position;
    ReadCharacter read{static_cast<unsigned char>(*here), position + 1, false};
    if (*here != '&') {
        return read;
    }
    std::size_t length = 0;
    const long code_point =
        here[1] == '#' ? numeric_reference(here, length) : named_reference(here, length);
    if (code_point >= 0) {
        read.character = code_point < 0x80 ? static_cast<unsigned char>(code_point) : NON_ASCII;
        read.next = position + length;
        read.referenced = true;
    }
    return read;
}

// A field's characters, with where each starts in the typed text.
struct Reading {
    unsigned char characters[FIELD_SIZE];
    std::size_t typed_at[FIELD_SIZE];
    std::size_t length;
};

// The field as the browser hands it on: character references decoded.
Reading read_field(const char* text) {
    Reading reading{};
    std::size_t position = 0;
    while (text[position] != '\0' && reading.length < FIELD_SIZE) {
        const ReadCharacter read = read_character_at(text, position);
        reading.characters[reading.length] = read.character;
        reading.typed_at[reading.length] = position;
        ++reading.length;
        position = read.next;
    }
    return reading;
}

bool starts_escape(const Reading& reading, std::size_t index) {
    return index + 2 < reading.length &&
           is_hex_digit(static_cast<char>(reading.characters[index + 1])) &&
           is_hex_digit(static_cast<char>(reading.characters[index + 2]));
}

// The field as the mail program takes it from the link: each "%xx" decoded
// once. A decoded character keeps the typed position of its "%".
Reading percent_decoded(const Reading& reading) {
    Reading decoded{};
    for (std::size_t i = 0; i < reading.length; ++i) {
        unsigned char character = reading.characters[i];
        decoded.typed_at[decoded.length] = reading.typed_at[i];
        if (character == '%' && starts_escape(reading, i)) {
            character = static_cast<unsigned char>(
                (hex_value(static_cast<char>(reading.characters[i + 1])) * 16) +
                hex_value(static_cast<char>(reading.characters[i + 2])));
            i += 2;
        }
        decoded.characters[decoded.length] = character;
        ++decoded.length;
    }
    return decoded;
}

std::size_t first_of(const Reading& reading, const char* set, std::size_t from, std::size_t end) {
    for (std::size_t i = from; i < end; ++i) {
        if (reading.characters[i] != '\0' &&
            std::strchr(set, static_cast<char>(reading.characters[i])) != nullptr) {
            return i;
        }
    }
    return NOWHERE;
}

// What one check found: the first offending character (none for '\0'),
// where it was typed, and the words of the note around it.
struct Finding {
    bool fires;
    char character;
    std::size_t typed_at;
    const char* statement; // before the character
    const char* detail;    // after it
    const char* effect;
    const char* advice;
};

constexpr Finding SILENT{false, '\0', 0, "", "", "", ""};

constexpr char ENDS_HREF[] = "dort endet der Verweis im HTML-Code, der Rest geht verloren.";
constexpr char NO_ADDRESS[] = "das Mailprogramm erkennt darin keine Adresse.";
constexpr char ADDRESS_FORM[] = "Geben Sie sie in der Form name@example.com an.";
constexpr char QUOTE_NAME[] = "Setzen Sie den ganzen Namen zwischen %22 und %22, und "
                              "Anfuehrungszeichen nur so, z. B. \"%22Mustermann, Max%22\".";

Finding at_character(const Reading& reading, std::size_t index, const char* effect,
                     const char* advice) {
    if (index == NOWHERE) {
        return SILENT;
    }
    return {true,
            static_cast<char>(reading.characters[index]),
            reading.typed_at[index],
            "enthaelt",
            "",
            effect,
            advice};
}

// Where a '"' was typed as such, which ends the page's href; NOWHERE if not.
std::size_t first_typed_quote(const char* text) {
    const char* quote = std::strchr(text, '"');
    return quote == nullptr ? NOWHERE : static_cast<std::size_t>(quote - text);
}

Finding at_typed_quote(std::size_t typed_at, const char* advice) {
    if (typed_at == NOWHERE) {
        return SILENT;
    }
    return {true, '"', typed_at, "enthaelt", "", ENDS_HREF, advice};
}

Finding check_broken_percent(const Reading& reading) {
    for (std::size_t i = 0; i < reading.length; ++i) {
        if (reading.characters[i] == '%' && !starts_escape(reading, i)) {
            Finding finding = at_character(reading, i, "Mailprogramme weisen den Verweis ab.",
                                           "Schreiben Sie %25.");
            finding.detail = " ohne zwei Hexadezimalziffern danach";
            return finding;
        }
    }
    return SILENT;
}

// The part of a text between the blanks at its ends.
struct Span {
    std::size_t begin;
    std::size_t end;
};

Span without_outer_blanks(const Reading& text) {
    Span span{0, text.length};
    while (span.begin < span.end && text.characters[span.begin] == ' ') {
        ++span.begin;
    }
    while (span.end > span.begin && text.characters[span.end - 1] == ' ') {
        --span.end;
    }
    return span;
}

bool is_quoted_string(const Reading& text, Span span) {
    return span.end - span.begin >= 2 && text.characters[span.begin] == '"' &&
           text.characters[span.end - 1] == '"';
}

// The name as a mail program reads "NAME <ADDRESS>": a quoted string, or
// plain words in which these characters split it or drop a part. A '"'
// typed as such also ends the href, quoted string or not.
Finding check_name_syntax(const Reading& reading, const char* typed_text) {
    const Reading decoded = percent_decoded(reading);
    const Span name = without_outer_blanks(decoded);
    const std::size_t typed_quote_at = first_typed_quote(typed_text);
    if (!is_quoted_string(decoded, name)) {
        const std::size_t index = first_of(decoded, "\",;:<()", name.begin, name.end);
        const bool typed = index != NOWHERE && decoded.typed_at[index] == typed_quote_at;
        return at_character(decoded, index,
                            typed ? ENDS_HREF
                                  : "das Mailprogramm zerlegt den Namen in mehrere Empfaenger "
                                    "oder laesst einen Teil davon weg.",
                            QUOTE_NAME);
    }
    if (typed_quote_at != NOWHERE) {
        return at_typed_quote(typed_quote_at, QUOTE_NAME);
    }
    Finding finding =
        at_character(decoded, first_of(decoded, "\"\\", name.begin + 1, name.end - 1),
                     "das Mailprogramm liest den Namen falsch.", "Lassen Sie es weg.");
    finding.detail = " innerhalb der umschliessenden Anfuehrungszeichen";
    return finding;
}

Finding check_address_syntax(const Reading& reading) {
    const Reading decoded = percent_decoded(reading);
    const std::size_t forbidden = first_of(decoded, ",;<>()\"", 0, decoded.length);
    if (forbidden != NOWHERE) {
        const bool list =
            decoded.characters[forbidden] == ',' || decoded.characters[forbidden] == ';';
        return at_character(
            decoded, forbidden,
            list ? "ein Verweis dieser Form traegt nur einen Empfaenger." : NO_ADDRESS,
            list ? "Geben Sie eine einzige Adresse an."
                 : "Geben Sie nur die Adresse selbst an, z. B. max.mustermann@example.com.");
    }
    const std::size_t at = first_of(decoded, "@", 0, decoded.length);
    if (at == NOWHERE) {
        return {true, '\0', 0, "enthaelt kein @", "", NO_ADDRESS, ADDRESS_FORM};
    }
    Finding finding = at_character(decoded, first_of(decoded, "@", at + 1, decoded.length),
                                   NO_ADDRESS, "Geben Sie eine einzige Adresse an.");
    if (finding.fires) {
        finding.statement = "enthaelt mehr als ein";
        return finding;
    }
    if (at == 0 || at + 1 == decoded.length) {
        finding = at_character(decoded, at, NO_ADDRESS, ADDRESS_FORM);
        finding.statement = at == 0 ? "beginnt mit" : "endet mit";
    }
    return finding;
}

Finding check(int number, LinkField field, const char* text, const Reading& reading) {
    const bool name = field == LinkField::recipient_name;
    const bool subject = field == LinkField::subject;
    switch (number) {
    case FAULT_QUOTE_ENDS_HREF:
        // The name's own check covers it there.
        return name ? SILENT
                    : at_typed_quote(first_typed_quote(text), "Schreiben Sie %22 (oder &quot;).");
    case FAULT_HASH_CUTS_LINK:
        return at_character(reading, first_of(reading, "#", 0, reading.length),
                            "dort schneidet der Browser den Verweis ab, auch die Nachricht "
                            "geht verloren.",
                            "Schreiben Sie %23.");
    case FAULT_BROKEN_PERCENT:
        return check_broken_percent(reading);
    case FAULT_QUESTION_MARK:
        return subject ? SILENT
                       : at_character(reading, first_of(reading, "?", 0, reading.length),
                                      "dort beginnt der Betreff.", "Schreiben Sie %3f.");
    case FAULT_AMPERSAND_ENDS_SUBJECT:
        return !subject ? SILENT
                        : at_character(reading, first_of(reading, "&", 0, reading.length),
                                       "dort endet der Betreff.", "Schreiben Sie %26.");
    case FAULT_NAME_SYNTAX:
        return name ? check_name_syntax(reading, text) : SILENT;
    case FAULT_ADDRESS_SYNTAX:
        return field == LinkField::recipient_address ? check_address_syntax(reading) : SILENT;
    default:
        return SILENT;
    }
}

// Where the typed text, cut to text, lost the end of a "%xx" or of a
// character reference: the typed position of its "%" or "&", or NOWHERE.
std::size_t split_by_cut(const char* text, const char* typed) {
    const std::size_t kept = std::strlen(text);
    if (std::strlen(typed) <= kept) {
        return NOWHERE; // not cut
    }
    for (std::size_t position = 0; position < kept;) {
        const ReadCharacter read = read_character_at(typed, position);
        if (read.referenced && read.next > kept) {
            return position;
        }
        if (read.character == '%' && typed[read.next] != '\0') {
            const ReadCharacter first = read_character_at(typed, read.next);
            if (typed[first.next] != '\0') {
                const ReadCharacter second = read_character_at(typed, first.next);
                if (is_hex_digit(static_cast<char>(first.character)) &&
                    is_hex_digit(static_cast<char>(second.character)) && second.next > kept) {
                    return position;
                }
            }
        }
        position = read.next;
    }
    return NOWHERE;
}

void write_note(std::FILE* out, LinkField field, const Finding& finding, char split_character) {
    std::fputs(" Hinweis: ", out);
    std::fputs(link_field_label(field), out);
    std::fputc(' ', out);
    std::fputs(finding.statement, out);
    if (finding.character != '\0') {
        std::fputs(" \"", out);
        std::fputc(finding.character, out);
        std::fputc('"', out);
    }
    std::fputs(finding.detail, out);
    if (split_character != '\0') {
        std::fputs(", weil das Kuerzen auf 99 Bytes ein \"", out);
        std::fputc(split_character, out);
        std::fputs("\" von seinem Ende getrennt hat", out);
    }
    std::fputs(": ", out);
    std::fputs(finding.effect, out);
    std::fputc(' ', out);
    std::fputs(split_character != '\0'
                   ? "Kuerzen Sie die Angabe selbst, so dass sie in 99 Bytes passt."
                   : finding.advice,
               out);
    std::fputc('\n', out);
}

} // namespace

const char* link_field_label(LinkField field) {
    switch (field) {
    case LinkField::recipient_name:
        return "Empfaengername";
    case LinkField::recipient_address:
        return "Empfaengeradresse";
    default:
        return "Betreffzeile";
    }
}

unsigned link_field_faults(LinkField field, const char* text) {
    const Reading reading = read_field(text);
    unsigned faults = 0;
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= FAULT_ADDRESS_SYNTAX; ++number) {
        if (check(number, field, text, reading).fires) {
            faults |= 1U << static_cast<unsigned>(number);
        }
    }
    return faults;
}

void write_link_field_notes(std::FILE* out, LinkField field, const char* text, const char* typed) {
    const Reading reading = read_field(text);
    const std::size_t split = split_by_cut(text, typed);
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= FAULT_ADDRESS_SYNTAX; ++number) {
        const Finding finding = check(number, field, text, reading);
        if (finding.fires) {
            const bool left_by_cut =
                split != NOWHERE && finding.character != '\0' && finding.typed_at >= split;
            write_note(out, field, finding, left_by_cut ? typed[split] : '\0');
        }
    }
}
