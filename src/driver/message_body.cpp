#include "driver/message_body.h"

#include "check/field_reading.h"
#include "common/common.h"
#include "link/link_writer.h"

namespace {

// Whether the two bytes after a '%' are hex digits: next is read already,
// the one after it is read and put back. Only while none was found.
bool hex_digits_follow(std::FILE* source, int next) {
    if (next == EOF || !is_hex_digit(static_cast<char32_t>(next))) {
        return false;
    }
    const int after = read_byte(source);
    if (after == EOF) {
        return false;
    }
    std::ungetc(after, source);
    return is_hex_digit(static_cast<char32_t>(after));
}

// '%', '&' and '=', which KMail's second decoding of the link reads: one
// subtraction and one compare for the bytes often escaped (blanks, the bytes
// of umlauts), which all lie outside '%' to '='.
inline bool read_again_by_kmail(int byte) {
    constexpr unsigned BYTES = (1U << 0U) | (1U << static_cast<unsigned>('&' - '%')) |
                               (1U << static_cast<unsigned>('=' - '%'));
    const auto offset = static_cast<unsigned>(byte - '%');
    return offset <= static_cast<unsigned>('=' - '%') && ((BYTES >> offset) & 1U) != 0;
}

// A '%', '&' or '=' the body escapes, with the body's length written
// before it: into the checks for what KMail's second decoding makes of it.
[[gnu::noinline]] void follow_second_decoding(std::FILE* source, MessageCheck& check, int byte,
                                              int next, unsigned long long written) {
    if (byte != '%') {
        follow_query_split(check, static_cast<unsigned char>(byte), written);
    } else if (check.first_percent_escape == 0) {
        check_percent_sign(check, hex_digits_follow(source, next), written);
    }
}

// One message byte into the link, and into the message check if it was
// escaped: a byte that goes out as itself needs no step of its own there.
// written counts the body's characters, widened those a browser escapes
// although the body holds them as they are. FOLLOW_WORDS: within the first
// WORDS_FOLLOWED bytes. next is the byte after this one, read already.
template <bool FOLLOW_WORDS>
inline void write_body_byte(std::FILE* source, std::FILE* target, int byte, int next,
                            unsigned long long& written, unsigned long long& widened,
                            MessageCheck& check) {
    const int wrote = encode_body_byte(target, byte);
    if (wrote == BODY_BYTE_AS_IS) {
        ++written;
    } else if (wrote == BODY_BYTE_WIDENED) {
        ++written;
        ++widened;
    } else {
        if constexpr (FOLLOW_WORDS) {
            follow_words(check, static_cast<unsigned char>(byte), written);
        }
        if (read_again_by_kmail(byte)) [[unlikely]] {
            follow_second_decoding(source, check, byte, next, written);
        }
        check_escaped_message_byte(check, static_cast<unsigned char>(byte), written);
        written += 3;
    }
}

} // namespace

// The one place where the message is read: byte by byte into the encoder
// and the message check. A read error ends the body like end of file; the
// caller checks for it. Out of line, so that its loop has the registers to
// itself.
[[gnu::noinline]] unsigned long long write_body(std::FILE* source, std::FILE* target,
                                                MessageCheck& check) {
    // Local copies stay in registers across the stream calls.
    unsigned long long written = 0;
    unsigned long long widened = 0;
    MessageCheck running = check;
    // The next byte is read before this one is written: the encoder's
    // branch on a byte then waits for no read, which keeps its frequent
    // mispredictions on text short. Words and a byte-order mark (the first
    // three bytes only) are looked for over the first bytes, so that a long
    // message runs the second loop without them. One loop each, so that
    // the compiler inlines the encoder into both.
    int byte = read_byte(source);
    running.starts_with_ampersand = byte == '&';
    std::size_t marked = 0;
    for (std::size_t taken = 0; byte != EOF && taken < WORDS_FOLLOWED; ++taken) {
        const int next = read_byte(source);
        const bool marks =
            marked == taken && marked < sizeof BYTE_ORDER_MARK && byte == BYTE_ORDER_MARK[marked];
        marked += marks ? 1 : 0;
        write_body_byte<true>(source, target, byte, next, written, widened, running);
        byte = next;
    }
    running.starts_with_byte_order_mark = marked == sizeof BYTE_ORDER_MARK;
    while (byte != EOF) {
        const int next = read_byte(source);
        write_body_byte<false>(source, target, byte, next, written, widened, running);
        byte = next;
    }
    check = finish_message_check(running, written);
    return written + (2 * widened);
}
