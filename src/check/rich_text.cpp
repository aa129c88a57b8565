#include "check/rich_text.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// The elements Qt's rich text knows, sorted.
constexpr const char* QT_ELEMENTS[] = {
    "a",     "address", "b",    "big",   "blockquote", "body",   "br",    "caption", "center",
    "cite",  "code",    "dd",   "dfn",   "div",        "dl",     "dt",    "em",      "font",
    "h1",    "h2",      "h3",   "h4",    "h5",         "h6",     "head",  "hr",      "html",
    "i",     "img",     "kbd",  "li",    "meta",       "nobr",   "ol",    "p",       "pre",
    "qt",    "s",       "samp", "small", "span",       "strong", "style", "sub",     "sup",
    "table", "tbody",   "td",   "tfoot", "th",         "thead",  "title", "tr",      "tt",
    "u",     "ul",      "var"};

bool is_white(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_known_element(const char* name) {
    return std::binary_search(std::begin(QT_ELEMENTS), std::end(QT_ELEMENTS), name,
                              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
}

// The tag between M[open] ('<') and M[close] ('>'), read as Qt reads it:
// letters and digits, then a blank or a '/' just before the '>'; a '!' may
// come first. Whether it names an element Qt knows.
bool names_known_element(const unsigned char* mail, std::size_t open, std::size_t close) {
    char name[16] = {};
    std::size_t length = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        const unsigned char c = mail[i];
        const bool alphanumeric =
            (c >= '0' && c <= '9') || ((c | 0x20U) >= 'a' && (c | 0x20U) <= 'z');
        if (alphanumeric) {
            if (length + 1 >= sizeof name) {
                return false;
            }
            name[length++] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        } else if (length > 0 && (is_white(c) || (c == '/' && i + 1 == close))) {
            break;
        } else if (!is_white(c) && (length > 0 || c != '!')) {
            return false;
        }
    }
    return is_known_element(name);
}

// Whether M[at, length) starts with text.
bool starts_with(const FieldReading& reading, std::size_t at, const char* text) {
    const std::size_t size = std::strlen(text);
    return at + size <= reading.mail_length && std::memcmp(reading.mail + at, text, size) == 0;
}

Finding at_tag(const Field& field, std::size_t i) {
    return at_mail(field, i,
                   "KMail (in Debian 12) haelt den Betreff dann fuer HTML und laesst das Tag "
                   "weg.",
                   "Lassen Sie die spitzen Klammern weg.");
}

} // namespace

Finding check_subject_rich_text(const Field& field) {
    const FieldReading& reading = field.reading;
    const unsigned char* mail = reading.mail;
    const std::size_t length = reading.mail_length;
    std::size_t start = 0;
    while (start < length && is_white(mail[start])) {
        ++start;
    }
    if (starts_with(reading, start, "<!doc")) {
        return at_tag(field, start);
    }
    for (std::size_t open = start; open < length && mail[open] != '\n'; ++open) {
        if (starts_with(reading, open, "&lt;")) {
            return at_tag(field, open);
        }
        if (mail[open] == '<') {
            const auto* close = std::find(mail + open, mail + length, '>');
            return close != mail + length &&
                           names_known_element(mail, open, static_cast<std::size_t>(close - mail))
                       ? at_tag(field, open)
                       : SILENT;
        }
    }
    return SILENT;
}
