// The link check: name, address and subject go into the link as typed, so
// some characters break it where it lands, in the page, the browser or the
// mail program. The check finds them and says what to type instead.
#pragma once

#include <cstdio>

enum class LinkField : unsigned char { recipient_name, recipient_address, subject };

// The checks, numbered; link_field_faults sets bit (1 << number) for each
// that fires.
inline constexpr int FAULT_QUOTE_ENDS_HREF = 1; // a typed '"' in address or subject
inline constexpr int FAULT_HASH_CUTS_LINK = 2;  // '#': the browser cuts the link there
inline constexpr int FAULT_BROKEN_PERCENT = 3;  // '%' without two hex digits
inline constexpr int FAULT_QUESTION_MARK = 4;   // '?' in name or address starts the subject
inline constexpr int FAULT_AMPERSAND_ENDS_SUBJECT = 5;
inline constexpr int FAULT_NAME_SYNTAX = 6;    // the name as a mail program parses it
inline constexpr int FAULT_ADDRESS_SYNTAX = 7; // not exactly one plain address

// The field's label in notes: "Empfaengername", "Empfaengeradresse" or
// "Betreffzeile".
const char* link_field_label(LinkField field);

// Which checks fire for the field's text (at most 99 bytes, as it goes into
// the link), as bits (1 << number).
unsigned link_field_faults(LinkField field, const char* text);

// Writes one note line per check that fires, in the order of their numbers.
// typed is the argument as given: where text is a cut copy of it and the
// cut split a "%xx" or a character reference, the note says so.
void write_link_field_notes(std::FILE* out, LinkField field, const char* text, const char* typed);
