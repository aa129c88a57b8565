// What the field rules share: the field with its readings, as each rule
// looks at it, and the ways a rule says what it found.
#pragma once

#include <cstddef>
#include <cstring>

#include "check/field_ends.h"
#include "check/field_reading.h"
#include "check/finding.h"
#include "check/link_field.h"

inline constexpr std::size_t NOWHERE = static_cast<std::size_t>(-1);
inline constexpr char32_t NO_BREAK_SPACE = 0xA0;

// A field with its readings, as the rules look at it.
struct Field {
    LinkField which;
    const char* text;  // as it goes into the link
    const char* typed; // the argument before the cut
    FieldReading reading;
    FieldEnds ends;
};

inline constexpr Finding SILENT{false, false, 0, false, false, 0, "", "", "", ""};

inline constexpr char ENDS_HREF[] = "dort endet der Verweis im HTML-Code, der Rest geht verloren.";
inline constexpr char LEAVE_OUT[] = "Lassen Sie es weg.";

inline Finding found(char32_t character, std::size_t typed_at, const char* effect,
                     const char* advice) {
    return {true, true, character, false, false, typed_at, "enthaelt", "", effect, advice};
}

inline Finding at_page(const Field& field, std::size_t index, const char* effect,
                       const char* advice) {
    return found(field.reading.page[index], field.reading.page_typed_at[index], effect, advice);
}

// Where the character that M's byte at index came from was typed.
inline std::size_t mail_typed_at(const FieldReading& reading, std::size_t index) {
    return reading.page_typed_at[reading.mail_page_first[index]];
}

inline Finding at_mail(const Field& field, std::size_t index, const char* effect,
                       const char* advice) {
    const FieldReading& reading = field.reading;
    Finding finding = found(reading.mail[index], mail_typed_at(reading, index), effect, advice);
    finding.is_byte = reading.mail[index] >= 0x80;
    return finding;
}

inline std::size_t first_typed_quote(const char* text) {
    const char* quote = std::strchr(text, '"');
    return quote == nullptr ? NOWHERE : static_cast<std::size_t>(quote - text);
}
