// The message, checked as it streams past: a NUL byte, or bytes that are
// not UTF-8, do not arrive as written.
#pragma once

#include <cstdint>
#include <cstdio>

#include "check/utf8.h"

inline constexpr int FAULT_MESSAGE_NUL = 11;       // a NUL byte in the message
inline constexpr int FAULT_MESSAGE_NOT_UTF8 = 12;  // the message is no UTF-8
inline constexpr int FAULT_MESSAGE_LESS_THAN = 15; // a '<': web mail takes the message for HTML
inline constexpr int FAULT_MESSAGE_LONG_WORD = 17; // a word that web mail breaks in two
inline constexpr int FAULT_MESSAGE_PERCENT_ESCAPE = 18; // "%xx", a '&' first or a '&' before a '=':
                                                        // KMail decodes twice

// Roundcube wraps the message at blanks, and cuts a word longer than this.
inline constexpr unsigned long long LONGEST_WHOLE_WORD = 998;
// Words are followed over the message's first bytes only: a link that holds
// more is far over the length that the long-link note speaks of.
inline constexpr unsigned long long WORDS_FOLLOWED = 4096;

// The message, checked as it streams past. The body loop hands over only
// the bytes it escapes, with the length of the body written before each: a
// byte that goes out as itself is ASCII and not NUL, so it can be at fault
// only by cutting a character short, which a gap in the body shows. Each
// escaped byte takes three characters, so the lengths give the positions.
struct MessageCheck {
    unsigned long long bytes_read;           // all of them, once the message is read
    unsigned long long escaped;              // the bytes handed over
    unsigned long long character_end;        // the body's length after the last one
    unsigned long long first_nul;            // its position, counted from 1; 0 if none
    unsigned long long first_not_utf8;       // the first byte of the first bad sequence
    unsigned long long first_less_than;      // the first '<', counted from 1; 0 if none
    unsigned long long word_start;           // where the word now read starts, counted from 0
    unsigned long long longest_word;         // the longest word before it, in bytes
    unsigned long long first_percent_escape; // a '%' with two hex digits after it; 0 if none
    unsigned long long last_ampersand;       // the last '&' so far, counted from 1; 0 if none
    unsigned long long first_split_value; // the last '&' before the first '=' after one; 0 if none
    unsigned utf8_row;                    // the recogniser's state: its row in UTF8_ROW_STEPS
    bool starts_with_byte_order_mark;     // the first three bytes are EF BB BF
    bool starts_with_ampersand;           // KMail loses a message that does
};

// UTF-8's byte-order mark: U+FEFF, which a mail program keeps as an
// invisible character before the first word.
inline constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

// Off the common path: the step from previous_row on byte, at the body's
// length written, ends in trouble. By value, so that the body loop can keep
// its check in registers.
[[nodiscard]] MessageCheck note_message_trouble(MessageCheck check, unsigned previous_row,
                                                unsigned char byte, unsigned long long written);

// A byte the body escapes, with the body's length written before it: one
// table step, and a branch that is rarely taken.
inline void check_escaped_message_byte(MessageCheck& check, unsigned char byte,
                                       unsigned long long written) {
    // Bytes that went out as themselves since the last one handed over
    // choose the other column of the table: an add, where a branch would
    // be misled by the pattern of blanks and umlauts.
    const auto unseen = static_cast<unsigned>(check.character_end < written);
    const unsigned previous_row = check.utf8_row;
    check.utf8_row = UTF8_ROW_STEPS.next[previous_row + (2U * byte) + unseen];
    if (check.utf8_row == UTF8_TROUBLE_ROW) [[unlikely]] {
        check = note_message_trouble(check, previous_row, byte, written);
    }
    check.character_end = written + 3;
    ++check.escaped;
}

// A byte the body escapes, before check_escaped_message_byte, within the
// first WORDS_FOLLOWED bytes: a blank or a line feed ends a word. Selects,
// not branches, since blanks and umlauts come in no pattern.
inline void follow_words(MessageCheck& check, unsigned char byte, unsigned long long written) {
    const unsigned long long position = written - (2 * check.escaped);
    const bool ends_word =
        static_cast<bool>(static_cast<int>(byte == ' ') | static_cast<int>(byte == '\n'));
    const unsigned long long word = position - check.word_start;
    check.longest_word = ends_word && word > check.longest_word ? word : check.longest_word;
    check.word_start = ends_word ? position + 1 : check.word_start;
}

// After the last byte, with the body's whole length. By value, as above.
[[nodiscard]] MessageCheck finish_message_check(MessageCheck check, unsigned long long written);

// Any byte of the message, escaped or not, as if it were escaped.
inline void check_message_byte(MessageCheck& check, unsigned char byte) {
    follow_words(check, byte, 3 * check.bytes_read);
    check_escaped_message_byte(check, byte, 3 * check.bytes_read);
    ++check.bytes_read;
}

// Where the message stops being UTF-8, counted from 1, a character cut off
// by its end included; 0 if it is UTF-8 throughout.
unsigned long long message_not_utf8_at(const MessageCheck& check);

// A '%' the body escapes while none was found, with the body's length
// written before it: whether the two bytes after it are hex digits. KMail
// decodes the link twice, so such a "%xx" arrives as another byte.
inline void check_percent_sign(MessageCheck& check, bool hex_digits_follow,
                               unsigned long long written) {
    if (hex_digits_follow) {
        check.first_percent_escape = written - (2 * check.escaped) + 1;
    }
}

// A '&' or a '=' the body escapes, with the body's length written before
// it. KMail decodes the link once and splits the query again at each '&':
// a part with a '=' in it becomes a value of its own. Debian 13's KMail
// loses it and all after it; Debian 12's joins it back, with the part
// before the '=' in lower case.
inline void follow_query_split(MessageCheck& check, unsigned char byte,
                               unsigned long long written) {
    if (byte == '&') {
        check.last_ampersand = written - (2 * check.escaped) + 1;
    } else if (check.first_split_value == 0) {
        check.first_split_value = check.last_ampersand;
    }
}

// The message checks that fire, as bits (1 << 11, 1 << 12, 1 << 15,
// 1 << 17, 1 << 18: a "%xx", a '&' first or a '&' before a '=').
unsigned message_faults(const MessageCheck& check);

// One note per message check that fires, naming the byte at fault.
void write_message_notes(std::FILE* out, const MessageCheck& check);

// A note where the message starts with a byte-order mark.
void write_byte_order_mark_note(std::FILE* out, const MessageCheck& check);
