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

TEST(BodyEncoding, EveryByteInEveryPositionOfOneStream) {
    std::string expected;
    for (int round = 0; round < 3; ++round) {
        for (int byte = 0; byte < 256; ++byte) {
            expected += expected_encoding((byte + round * 7) % 256);
        }
    }
    const std::string written = capture_output([](std::FILE* out) {
        for (int round = 0; round < 3; ++round) {
            for (int byte = 0; byte < 256; ++byte) {
                encode_body_byte(out, (byte + round * 7) % 256);
            }
        }
    });
    EXPECT_EQ(written, expected);
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
