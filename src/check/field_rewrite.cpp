#include "check/field_rewrite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "check/ascii_domain.h"
#include "check/code_page_misreading.h"
#include "check/field_meaning.h"
#include "check/field_reading.h"
#include "check/name_rules.h"
#include "check/utf8.h"

namespace {

// A text written piece by piece, at most FIELD_SIZE - 1 bytes; it fails for
// good once a piece does not fit.
struct Rewrite {
    char* text; // FIELD_SIZE bytes
    std::size_t length;
    bool fits;

    void append(const char* piece) {
        const std::size_t size = std::strlen(piece);
        fits = fits && length + size < FIELD_SIZE;
        if (fits) {
            std::memcpy(text + length, piece, size + 1);
            length += size;
        }
    }
};

void append_escapes(Rewrite& rewrite, char32_t c) {
    unsigned char bytes[4];
    const std::size_t count = encode_utf8(c, bytes);
    for (std::size_t i = 0; i < count; ++i) {
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02x", static_cast<unsigned>(bytes[i]));
        rewrite.append(escape);
    }
}

// Subject and address: what the page, the browser, a shell or web mail
// would take for something else as "%xx", like the body.
void append_for_link(Rewrite& rewrite, char32_t c, bool address) {
    if (c >= 0x80 || is_one_of(c, "\"#%&$`\\!") || (address && c == '?') ||
        (!address && (c == '+' || c == '='))) {
        append_escapes(rewrite, c);
    } else {
        const char plain[] = {static_cast<char>(c), '\0'};
        rewrite.append(plain);
    }
}

// The characters the name writes as named references, and those.
constexpr char32_t NAMED_CHARACTERS[] = {'&', '<', '>', 0xE4, 0xF6, 0xFC, 0xC4, 0xD6, 0xDC, 0xDF};
constexpr const char* NAMED_REFERENCES[] = {"&amp;",  "&lt;",   "&gt;",   "&auml;", "&ouml;",
                                            "&uuml;", "&Auml;", "&Ouml;", "&Uuml;", "&szlig;"};

// The name: as references, which the button shows as the characters they
// stand for; '#', '%' and '?' as escapes, which it shows as typed.
void append_for_name(Rewrite& rewrite, char32_t c) {
    const auto* named = std::find(std::begin(NAMED_CHARACTERS), std::end(NAMED_CHARACTERS), c);
    if (named != std::end(NAMED_CHARACTERS)) {
        rewrite.append(NAMED_REFERENCES[named - std::begin(NAMED_CHARACTERS)]);
        return;
    }
    if (c >= 0x80 || is_one_of(c, "$`!")) {
        char reference[16];
        std::snprintf(reference, sizeof reference, "&#%lu;", static_cast<unsigned long>(c));
        rewrite.append(reference);
    } else if (is_one_of(c, "#%?")) {
        append_escapes(rewrite, c);
    } else {
        const char plain[] = {static_cast<char>(c), '\0'};
        rewrite.append(plain);
    }
}

bool holds_one_of(const FieldMeaning& meaning, const char* set) {
    for (std::size_t i = 0; i < meaning.length; ++i) {
        if (is_one_of(meaning.characters[i], set)) {
            return true;
        }
    }
    return false;
}

// Thunderbird splits a name at a ',' after an '@', between quotes too.
bool holds_comma_after_at(const FieldMeaning& meaning) {
    const char32_t* end = meaning.characters + meaning.length;
    const char32_t* at = std::find(meaning.characters, end, U'@');
    return std::find(at, end, U',') != end;
}

// A '.' that KMail moves in a plain name.
bool holds_dot_kmail_moves(const FieldMeaning& meaning) {
    for (std::size_t i = 0; i < meaning.length; ++i) {
        const char32_t before = i == 0 ? 0 : meaning.characters[i - 1];
        const char32_t after = i + 1 == meaning.length ? 0 : meaning.characters[i + 1];
        if (meaning.characters[i] == '.' && kmail_moves_dot(before, after)) {
            return true;
        }
    }
    return false;
}

// The address with its domain in ASCII (IDNA's form), which KMail and every
// mail server take; false where it has no such form that this program can
// be sure of.
bool with_ascii_domain(FieldMeaning& meaning) {
    char32_t* end = meaning.characters + meaning.length;
    char32_t* at = std::find(meaning.characters, end, U'@');
    if (at == end || std::none_of(at, end, [](char32_t c) { return c >= 0x80; })) {
        return true;
    }
    const auto domain = static_cast<std::size_t>(at + 1 - meaning.characters);
    char32_t ascii[READING_LIMIT];
    const std::size_t length =
        ascii_domain(at + 1, meaning.length - domain, ascii, READING_LIMIT - domain);
    std::copy(ascii, ascii + length, at + 1);
    meaning.length = domain + length;
    return length > 0;
}

bool can_be_rewritten(LinkField which, const char* text, const char* typed,
                      const FieldFindings& findings, const FieldMeaning& meaning) {
    const bool cut = std::strcmp(text, typed) != 0;
    const bool not_utf8 = findings.by_rule[FAULT_NOT_UTF8].fires;
    // Rule 1 fires in an address exactly where a '"' was typed. Whether
    // what the address means is one plain address, the rewrite's own
    // silence tells.
    const bool quote_in_address =
        which == LinkField::recipient_address && findings.by_rule[FAULT_QUOTE_ENDS_HREF].fires;
    // No quoting gets a '"' or '\' through Mutt and Alpine, nor a ';', or a
    // ',' after an '@', through Thunderbird.
    // Nor a reference that Roundcube would read in the name once more.
    const bool unquotable = which == LinkField::recipient_name &&
                            (holds_one_of(meaning, "\"\\;") || holds_comma_after_at(meaning) ||
                             findings.by_rule[FAULT_NAME_READ_AS_HTML].fires);
    return !cut && meaning.exists && meaning.length > 0 && !not_utf8 && !quote_in_address &&
           !unquotable;
}

} // namespace

bool rewrite_field(LinkField which, const char* text, const char* typed,
                   const FieldFindings& findings, char (&rewrite)[FIELD_SIZE]) {
    FieldMeaning meaning = field_meaning(which, text);
    // What it most likely meant, where it went through the wrong code page.
    FieldMeaning meant{};
    if (findings.by_rule[FAULT_WRONG_CODE_PAGE].fires &&
        find_misreading(which, text, meant) != Misreading::none) {
        meaning = meant;
    }
    if (!can_be_rewritten(which, text, typed, findings, meaning)) {
        return false;
    }
    if (which == LinkField::recipient_address && !with_ascii_domain(meaning)) {
        return false;
    }
    Rewrite written{rewrite, 0, true};
    rewrite[0] = '\0';
    const bool name = which == LinkField::recipient_name;
    const bool enclose =
        name && (holds_one_of(meaning, ",:<>()[]@") || holds_dot_kmail_moves(meaning));
    if (enclose) {
        written.append("&quot;");
    }
    for (std::size_t i = 0; i < meaning.length; ++i) {
        if (name) {
            append_for_name(written, meaning.characters[i]);
        } else {
            append_for_link(written, meaning.characters[i], which == LinkField::recipient_address);
        }
    }
    if (enclose) {
        written.append("&quot;");
    }
    // What the meaning leaves may still be no address: removed control
    // characters around an '@', say. A rewrite is offered only where it is
    // silent itself.
    return written.fits && link_field_faults(which, rewrite, rewrite) == 0;
}
