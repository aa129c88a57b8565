// The link check: name, address and subject go into the link as typed, so
// some characters break it where it lands, in the page, the browser or the
// mail program; and a message that is not UTF-8, or holds a NUL byte, does
// not arrive as written. The check finds them and says what to do instead.
#pragma once

#include <cstdint>
#include <cstdio>

#include "link/field_reading.h"

enum class LinkField : unsigned char { recipient_name, recipient_address, subject };

// The checks, numbered; the faults functions set bit (1 << number) for
// each that fires.
inline constexpr int FAULT_QUOTE_ENDS_HREF = 1; // a typed '"' in address or subject
inline constexpr int FAULT_HASH_CUTS_LINK = 2;  // '#': the browser cuts the link there
inline constexpr int FAULT_BROKEN_PERCENT = 3;  // '%' without two hex digits
inline constexpr int FAULT_QUESTION_MARK = 4;   // '?' in name or address starts the subject
inline constexpr int FAULT_AMPERSAND_ENDS_SUBJECT = 5;
inline constexpr int FAULT_NAME_SYNTAX = 6;        // the name as a mail program parses it
inline constexpr int FAULT_ADDRESS_SYNTAX = 7;     // not exactly one plain address
inline constexpr int FAULT_DELETED_BY_BROWSER = 8; // a tab or line break inside
inline constexpr int FAULT_CONTROL_CHARACTER = 9;  // as the mail program gets it
inline constexpr int FAULT_NOT_UTF8 = 10;          // bytes that are no UTF-8
inline constexpr int FAULT_MESSAGE_NUL = 11;       // a NUL byte in the message
inline constexpr int FAULT_MESSAGE_NOT_UTF8 = 12;  // the message is no UTF-8
inline constexpr int FAULT_NAME_TAG = 13;          // the page takes part of the name for a tag

// The field's label in notes: "Empfaengername", "Empfaengeradresse" or
// "Betreffzeile".
const char* link_field_label(LinkField field);

// Which checks fire for the field's text (at most 99 bytes, as it goes into
// the link), as bits (1 << number). typed is the argument before the cut.
unsigned link_field_faults(LinkField which, const char* text, const char* typed);

// Writes one note line per check that fires, in the order of their numbers.
// Where text is a cut copy of typed and the cut caused what a note
// reports, the note says so.
void write_link_field_notes(std::FILE* out, LinkField which, const char* text, const char* typed);

// The message, checked as it streams past: one step per byte.
struct MessageCheck {
    unsigned long long bytes_read;
    unsigned long long first_nul;      // its position, counted from 1; 0 if none
    unsigned long long first_not_utf8; // the first byte of the first bad sequence
    std::uint8_t utf8_state;
};

// Off the common path: a NUL byte or a sequence that is no UTF-8. By value,
// so that the body loop can keep its check in registers.
[[nodiscard]] MessageCheck note_message_trouble(MessageCheck check, std::uint8_t previous,
                                                unsigned char byte);

inline void check_message_byte(MessageCheck& check, unsigned char byte) {
    ++check.bytes_read;
    const std::uint8_t previous = check.utf8_state;
    check.utf8_state = utf8_step(previous, byte);
    if (check.utf8_state == UTF8_TROUBLE) [[unlikely]] {
        check = note_message_trouble(check, previous, byte);
    }
}

// The same for a byte that the body carries as itself (an ASCII letter,
// digit or mark, never NUL): only a character it cuts short is at fault.
inline void check_plain_message_byte(MessageCheck& check, unsigned char byte) {
    ++check.bytes_read;
    if (check.utf8_state != UTF8_ACCEPT) [[unlikely]] {
        const std::uint8_t previous = check.utf8_state;
        check.utf8_state = UTF8_TROUBLE;
        check = note_message_trouble(check, previous, byte);
    }
}

// Where the message stops being UTF-8, counted from 1, a character cut off
// by its end included; 0 if it is UTF-8 throughout.
unsigned long long message_not_utf8_at(const MessageCheck& check);

// The message checks that fire, as bits (1 << 11, 1 << 12).
unsigned message_faults(const MessageCheck& check);

// One note per message check that fires, naming the byte at fault.
void write_message_notes(std::FILE* out, const MessageCheck& check);
