// The field rules: name, address and subject go into the link as typed, so
// some characters break it where it lands, in the page, the browser or the
// mail program. Each rule finds the first character that does, and says
// what goes wrong and what to type instead.
#pragma once

#include "check/finding.h"
#include "check/link_field.h"

// The rules, numbered as in the notes (11, 12, 15, 17 and 18 are the
// message's).
inline constexpr int FAULT_QUOTE_ENDS_HREF = 1; // a typed '"' in address or subject
inline constexpr int FAULT_HASH_STARTS_FRAGMENT = 2;
inline constexpr int FAULT_BROKEN_PERCENT = 3; // '%' without two hex digits
inline constexpr int FAULT_QUESTION_MARK = 4;  // '?' in name or address starts the subject
inline constexpr int FAULT_AMPERSAND_ENDS_SUBJECT = 5;
inline constexpr int FAULT_NAME_SYNTAX = 6;        // the name as a mail program parses it
inline constexpr int FAULT_ADDRESS_SYNTAX = 7;     // not exactly one plain address
inline constexpr int FAULT_DELETED_BY_BROWSER = 8; // a tab or line break inside
inline constexpr int FAULT_CONTROL_CHARACTER = 9;  // as the mail program gets it
inline constexpr int FAULT_NOT_UTF8 = 10;          // bytes that are no UTF-8
inline constexpr int FAULT_NAME_TAG = 13;          // the page takes part of the name for a tag
inline constexpr int FAULT_WRONG_CODE_PAGE = 14;   // text that went through the wrong code page
inline constexpr int FAULT_NAME_READ_AS_HTML = 16; // web mail reads a reference in the name
inline constexpr int FAULT_DECODED_TWICE = 19;     // KMail decodes the link twice
inline constexpr int FAULT_DOTTED_NAME = 20;       // KMail puts a blank after a '.' in a plain name
inline constexpr int FAULT_ADDRESS_BEYOND_ASCII = 21; // KMail encodes it; servers refuse it
inline constexpr int FAULT_SUBJECT_RICH_TEXT = 22;    // KMail 22.12 shows it as HTML
inline constexpr int LAST_FIELD_RULE = FAULT_SUBJECT_RICH_TEXT;

// What each rule finds in a field, by its number (the message's stay
// silent).
struct FieldFindings {
    Finding by_rule[LAST_FIELD_RULE + 1];
};

// Applies every rule to the field's text (at most READING_LIMIT bytes, as
// it goes into the link). typed is the argument before the cut.
FieldFindings find_field_faults(LinkField which, const char* text, const char* typed);

// The rules that fire, as bits (1 << number).
unsigned link_field_faults(LinkField which, const char* text, const char* typed);
