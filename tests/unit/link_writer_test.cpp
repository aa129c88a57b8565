#include "link/link_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "stream_capture.h"

namespace {

// The safe set, spelled out as characters rather than as ranges.
constexpr std::string_view SAFE_CHARACTERS = "0123456789"
                                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "abcdefghijklmnopqrstuvwxyz"
                                             ",-.@[]_{|}~";

std::string expected_encoding(int byte) {
    if (SAFE_CHARACTERS.find(static_cast<char>(byte)) != std::string_view::npos) {
        return std::string(1, static_cast<char>(byte));
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "%%%02x", static_cast<unsigned>(byte));
    return escape;
}

std::string encode(int byte) {
    return capture_output([byte](std::FILE* out) { encode_body_byte(out, byte); });
}

TEST(BodyEncoding, EveryByteValueAgreesWithTheSpelledOutSafeSet) {
    ASSERT_EQ(SAFE_CHARACTERS.size(), 73U);
    int safe_count = 0;
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_EQ(encode(byte), expected_encoding(byte)) << "byte " << byte;
        EXPECT_EQ(is_safe_body_byte(byte), expected_encoding(byte).size() == 1) << byte;
        safe_count += is_safe_body_byte(byte) ? 1 : 0;
    }
    EXPECT_EQ(safe_count, 73);
}

// The plain way: fputc for a safe byte, fprintf for an escape.
void reference_encode(std::FILE* out, int byte) {
    if (SAFE_CHARACTERS.find(static_cast<char>(byte)) != std::string_view::npos) {
        std::fputc(byte, out);
    } else {
        std::fprintf(out, "%%%02lx", static_cast<unsigned long>(byte));
    }
}

// A stream buffer of 7 bytes against runs of 256 values shifted by one each
// round: every value, escapes included, meets every buffer boundary offset.
template <typename Encoder> std::string encode_all_positions(Encoder encoder) {
    return capture_output([encoder](std::FILE* out) {
        static char tiny_buffer[7];
        std::setvbuf(out, tiny_buffer, _IOFBF, sizeof tiny_buffer);
        for (int round = 0; round < 21; ++round) {
            for (int byte = 0; byte < 256; ++byte) {
                encoder(out, (byte + round) % 256);
            }
        }
        std::fflush(out);
    });
}

TEST(BodyEncoding, FastPathAgreesWithPlainEncodingInEveryPosition) {
    const std::string fast = encode_all_positions(encode_body_byte);
    const std::string plain = encode_all_positions(reference_encode);
    ASSERT_EQ(plain.size(), 21U * (73 + 3 * 183));
    EXPECT_EQ(fast, plain);
}

TEST(BodyEncoding, NotableBytes) {
    const struct {
        int byte;
        const char* encoded;
    } cases[] = {
        {' ', "%20"},  {'\n', "%0a"}, {'\r', "%0d"}, {'\t', "%09"}, {0x00, "%00"},
        {0xFF, "%ff"}, {'%', "%25"},  {'&', "%26"},  {'+', "%2b"},  {'?', "%3f"},
        {'=', "%3d"},  {'#', "%23"},  {'/', "%2f"},  {':', "%3a"},  {'<', "%3c"},
        {'>', "%3e"},  {'"', "%22"},  {'\'', "%27"}, {0xC3, "%c3"}, {0x7F, "%7f"},
        {'~', "~"},    {'@', "@"},    {'|', "|"},    {'z', "z"},    {'0', "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode(c.byte), c.encoded) << "byte " << c.byte;
    }
}

TEST(BodyEncoding, PlainCharIsTakenAsItsByteValue) {
    EXPECT_EQ(encode(static_cast<char>(0xE4)), "%e4");
    EXPECT_FALSE(is_safe_body_byte(-1));
    EXPECT_FALSE(is_safe_body_byte(256));
}

TEST(LinkElement, ValuesAreInsertedAsTheyStand) {
    const std::string written = capture_output([](std::FILE* out) {
        write_link_opening(out, "A \"%s\" <B>", "a%d@x", "50%");
        encode_body_byte(out, 'H');
        write_link_closing(out, "A \"%s\" <B>");
    });
    EXPECT_EQ(written, "<a href=\"mailto:A \"%s\" <B> <a%d@x>?subject=50%&body=H\">\n"
                       "Nachricht an A \"%s\" <B>\n"
                       "</a>\n");
}

} // namespace
