// The message, checked as it streams past: a NUL byte, or bytes that are
// not UTF-8, do not arrive as written.
#pragma once

#include <cstdint>
#include <cstdio>

#include "check/utf8.h"

inline constexpr int FAULT_MESSAGE_NUL = 11;      // a NUL byte in the message
inline constexpr int FAULT_MESSAGE_NOT_UTF8 = 12; // the message is no UTF-8

// The message, checked as it streams past: one step per byte.
struct MessageCheck {
    unsigned long long bytes_read;
    unsigned long long first_nul;      // its position, counted from 1; 0 if none
    unsigned long long first_not_utf8; // the first byte of the first bad sequence
    std::uint8_t utf8_state;
    bool starts_with_byte_order_mark; // the first three bytes are EF BB BF
};

// UTF-8's byte-order mark: U+FEFF, which a mail program keeps as an
// invisible character before the first word.
inline constexpr unsigned char BYTE_ORDER_MARK[] = {0xEF, 0xBB, 0xBF};

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

// A note where the message starts with a byte-order mark.
void write_byte_order_mark_note(std::FILE* out, const MessageCheck& check);
