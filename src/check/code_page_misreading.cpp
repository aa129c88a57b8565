#include "check/code_page_misreading.h"

#include <algorithm>
#include <iterator>

#include "check/code_pages.h"
#include "check/utf8.h"

namespace {

bool holds_byte_beyond_ascii(const char* text) {
    for (; *text != '\0'; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80) {
            return true;
        }
    }
    return false;
}

// The characters as the bytes that stand for them in page, read as UTF-8:
// true where every one has a byte there and the bytes are UTF-8 with at
// least one character beyond ASCII, which no control character is.
bool read_back_as_utf8(CodePage page, const FieldMeaning& meaning, FieldMeaning& meant) {
    unsigned char bytes[READING_LIMIT];
    bool beyond_ascii = false;
    for (std::size_t i = 0; i < meaning.length; ++i) {
        const int byte = code_page_byte(page, meaning.characters[i]);
        if (byte < 0) {
            return false;
        }
        bytes[i] = static_cast<unsigned char>(byte);
        beyond_ascii = beyond_ascii || byte >= 0x80;
    }
    if (!beyond_ascii || first_non_utf8(bytes, meaning.length) != meaning.length) {
        return false;
    }
    meant = FieldMeaning{true, {}, 0};
    for (std::size_t at = 0; at < meaning.length;) {
        const char32_t c = decode_utf8(bytes, at);
        if (c >= 0x80 && c <= 0x9F) {
            return false;
        }
        meant.characters[meant.length++] = c;
    }
    return true;
}

// Code page 850's readings of 1252's "ü", "ö", "Ä", "Ü" and "ß", which no
// German text holds; "õ" for "ä" is a real letter (Camões), so alone it
// tells nothing.
constexpr char32_t TELLTALES[] = {0xB3, 0xF7, 0x2500, 0x2584, 0x2580};
constexpr char32_t GERMAN_LETTERS[] = {0xE4, 0xF6, 0xFC, 0xC4, 0xD6, 0xDC, 0xDF};

template <std::size_t N> bool is_among(char32_t c, const char32_t (&set)[N]) {
    return std::find(std::begin(set), std::end(set), c) != std::end(set);
}

// Each character beyond ASCII as the byte that stands for it in 850, read
// in 1252: true where that gives German letters only and a telltale was
// there.
bool read_back_as_cp1252(const FieldMeaning& meaning, FieldMeaning& meant) {
    bool telltale = false;
    meant = meaning;
    for (std::size_t i = 0; i < meaning.length; ++i) {
        const char32_t c = meaning.characters[i];
        if (c < 0x80) {
            continue;
        }
        const int byte = code_page_byte(CodePage::cp850, c);
        meant.characters[i] =
            byte < 0 ? 0 : code_page_character(CodePage::cp1252, static_cast<unsigned char>(byte));
        if (!is_among(meant.characters[i], GERMAN_LETTERS)) {
            return false;
        }
        telltale = telltale || is_among(c, TELLTALES);
    }
    return telltale;
}

} // namespace

Misreading find_misreading(LinkField which, const char* text, FieldMeaning& meant) {
    if (!holds_byte_beyond_ascii(text)) {
        return Misreading::none;
    }
    const FieldMeaning meaning = field_meaning(which, text);
    if (!meaning.exists) {
        return Misreading::none;
    }
    if (read_back_as_utf8(CodePage::cp850, meaning, meant)) {
        return Misreading::utf8_as_cp850;
    }
    if (read_back_as_utf8(CodePage::cp437, meaning, meant)) {
        return Misreading::utf8_as_cp437;
    }
    if (read_back_as_utf8(CodePage::cp1252, meaning, meant)) {
        return Misreading::utf8_as_cp1252;
    }
    return read_back_as_cp1252(meaning, meant) ? Misreading::cp1252_as_cp850 : Misreading::none;
}
