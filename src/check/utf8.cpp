#include "check/utf8.h"

#include <algorithm>
#include <iterator>

namespace {

// Byte classes: what a byte can be in UTF-8.
constexpr unsigned UTF8_CLASSES = 13;
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

static_assert(TROUBLE == UTF8_TROUBLE && TROUBLE + 1 == UTF8_STATES);

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

// The states' steps by class, then spread over the bytes of each class:
// one load per step, with no class to look up first.
constexpr Utf8Tables build_utf8_tables() {
    std::uint8_t by_class[UTF8_STATES * UTF8_CLASSES] = {};
    std::fill(std::begin(by_class), std::end(by_class), UTF8_TROUBLE);
    const auto go = [&by_class](Utf8State from, Utf8Class on, Utf8State to) {
        by_class[(from * UTF8_CLASSES) + on] = to;
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
    Utf8Tables tables{};
    for (unsigned state = 0; state < UTF8_STATES; ++state) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            tables.next[state][byte] = by_class[(state * UTF8_CLASSES) + class_of(byte)];
        }
    }
    return tables;
}

constexpr Utf8RowSteps build_utf8_row_steps(const Utf8Tables& tables) {
    Utf8RowSteps steps{};
    for (unsigned state = 0; state < UTF8_STATES; ++state) {
        const std::uint8_t after_unseen = tables.next[state][unsigned{'a'}];
        for (unsigned byte = 0; byte < 256; ++byte) {
            // A byte the caller wants to hear of goes the rare way too.
            const bool told = byte == UTF8_TOLD_BYTE;
            const std::uint8_t seen = told ? UTF8_TROUBLE : tables.next[state][byte];
            const std::uint8_t unseen = told || after_unseen == UTF8_TROUBLE
                                            ? UTF8_TROUBLE
                                            : tables.next[after_unseen][byte];
            const unsigned at = (state * UTF8_ROW) + (2 * byte);
            steps.next[at] = static_cast<std::uint16_t>(seen * UTF8_ROW);
            steps.next[at + 1] = static_cast<std::uint16_t>(unseen * UTF8_ROW);
        }
    }
    return steps;
}

} // namespace

constexpr Utf8Tables UTF8_TABLES = build_utf8_tables();
constexpr Utf8RowSteps UTF8_ROW_STEPS = build_utf8_row_steps(UTF8_TABLES);

unsigned utf8_bytes_taken(std::uint8_t state) { return BYTES_TAKEN[state]; }

Utf8Trouble utf8_trouble(std::uint8_t previous, unsigned char byte) {
    Utf8Trouble trouble{byte != 0 || previous != UTF8_ACCEPT, utf8_bytes_taken(previous),
                        UTF8_ACCEPT};
    if (byte != 0) {
        const std::uint8_t fresh = utf8_step(UTF8_ACCEPT, byte);
        trouble.resume = fresh == UTF8_TROUBLE ? UTF8_ACCEPT : fresh;
    }
    return trouble;
}

std::size_t encode_utf8(char32_t code_point, unsigned char (&bytes)[4]) {
    if (code_point < 0x80) {
        bytes[0] = static_cast<unsigned char>(code_point);
        return 1;
    }
    std::size_t count = 4;
    if (code_point < 0x800) {
        count = 2;
    } else if (code_point < 0x10000) {
        count = 3;
    }
    constexpr unsigned char LEAD_MARKS[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (std::size_t i = count - 1; i > 0; --i) {
        bytes[i] = static_cast<unsigned char>(0x80U | (code_point & 0x3FU));
        code_point >>= 6U;
    }
    bytes[0] = static_cast<unsigned char>(LEAD_MARKS[count] | code_point);
    return count;
}

char32_t decode_utf8(const unsigned char* bytes, std::size_t& at) {
    const unsigned lead = bytes[at++];
    const unsigned continuations = utf8_continuations(lead);
    char32_t value = lead & (0x7FU >> (continuations == 0 ? 0 : continuations + 1));
    for (unsigned i = 0; i < continuations; ++i) {
        value = (value << 6U) | (bytes[at++] & 0x3FU);
    }
    return value;
}
