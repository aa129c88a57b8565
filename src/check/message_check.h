// The message, checked as it streams past: a NUL byte, or bytes that are
// not UTF-8, do not arrive as written.
#pragma once

#include <cstdint>
#include <cstdio>

#include "check/utf8.h"

inline constexpr int FAULT_MESSAGE_NUL = 11;      // a NUL byte in the message
inline constexpr int FAULT_MESSAGE_NOT_UTF8 = 12; // the message is no UTF-8

// The message, checked as it streams past. The body loop hands over only
// the bytes it escapes, with the length of the body written before each: a
// byte that goes out as itself is ASCII and not NUL, so it can be at fault
// only by cutting a character short, which a gap in the body shows. Each
// escaped byte takes three characters, so the lengths give the positions.
struct MessageCheck {
    unsigned long long bytes_read;     // all of them, once the message is read
    unsigned long long escaped;        // the bytes handed over
    unsigned long long character_end;  // the body's length after the last one
    unsigned long long first_nul;      // its position, counted from 1; 0 if none
    unsigned long long first_not_utf8; // the first byte of the first bad sequence
    std::uint8_t utf8_state;
    bool starts_with_byte_order_mark; // the first three bytes are EF BB BF
};

// UTF-8's byte-order mark: U+FEFF, which a mail program keeps as an
// invisible character before the first word.
inline constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

// Off the common path: a NUL byte, or a sequence that is no UTF-8 and ends
// at byte, the one at position (counted from 1). By value, so that the body
// loop can keep its check in registers.
[[nodiscard]] MessageCheck note_message_trouble(MessageCheck check, std::uint8_t previous,
                                                unsigned char byte, unsigned long long position);

// Off the common path: bytes that went out as themselves cut short the
// character the last byte handed over left open.
[[nodiscard]] MessageCheck note_character_cut_short(const MessageCheck& check);

// A byte the body escapes, with the body's length written before it: one
// table step, and two branches that are rarely taken.
inline void check_escaped_message_byte(MessageCheck& check, unsigned char byte,
                                       unsigned long long written) {
    // A gap in the body matters only inside a character: masked, not
    // branched on, since the pattern of umlauts would mislead a branch.
    const auto open = static_cast<unsigned long long>(check.utf8_state != UTF8_ACCEPT);
    if (((written ^ check.character_end) & (0 - open)) != 0) [[unlikely]] {
        check = note_character_cut_short(check);
    }
    const std::uint8_t previous = check.utf8_state;
    check.utf8_state = utf8_step(previous, byte);
    if (check.utf8_state == UTF8_TROUBLE) [[unlikely]] {
        check = note_message_trouble(check, previous, byte, written - (2 * check.escaped) + 1);
    }
    check.character_end = written + 3;
    ++check.escaped;
}

// After the last byte, with the body's whole length. By value, as above.
[[nodiscard]] MessageCheck finish_message_check(MessageCheck check, unsigned long long written);

// Any byte of the message, escaped or not, as if it were escaped.
inline void check_message_byte(MessageCheck& check, unsigned char byte) {
    check_escaped_message_byte(check, byte, 3 * check.bytes_read);
    ++check.bytes_read;
}

// Where the message stops being UTF-8, counted from 1, a character cut off
// by its end included; 0 if it is UTF-8 throughout.
unsigned long long message_not_utf8_at(const MessageCheck& check);

// The message checks that fire, as bits (1 << 11, 1 << 12).
unsigned message_faults(const MessageCheck& check);

// One note per message check that fires, naming the byte at fault.
void write_message_notes(std::FILE* out, const MessageCheck& check);

// A note where the message starts with a byte-order mark.
void write_byte_order_mark_note(std::FILE* out, const MessageCheck& check);
