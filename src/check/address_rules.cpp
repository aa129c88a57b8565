#include "check/address_rules.h"

#include <algorithm>
#include <iterator>

#include "check/html_entities.h"
#include "check/utf8.h"

namespace {

constexpr char NO_ADDRESS[] = "das Mailprogramm erkennt darin keine Adresse.";
constexpr char ADDRESS_FORM[] = "Geben Sie sie in der Form name@example.com an.";
constexpr char ONE_ADDRESS[] = "Geben Sie eine einzige Adresse an.";

constexpr char NOT_DELIVERED[] =
    "Roundcube nimmt die Adresse so nicht an, und kein Mailserver stellt an sie zu.";
constexpr char VALID_FORM[] =
    "Pruefen Sie die Adresse: vor dem @ Buchstaben, Ziffern und .!#$%&'*+/=?^_`{|}~- ohne Punkt am "
    "Anfang oder Ende und ohne zwei Punkte hintereinander, danach durch Punkte getrennte Namen "
    "aus Buchstaben, Ziffern und Bindestrichen, z. B. max.mustermann@example.com.";

bool is_letter_or_digit(unsigned char c) { return is_ascii_alphanumeric(static_cast<char>(c)); }

// Check 9 notes control characters, and the rewrite leaves them out.
bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Characters beyond ASCII that do not stand in a domain as typed (the C1
// controls are check 9's): a mail program writes a domain as an
// internationalised name (UTS #46), which maps these to other characters
// ("…" to "...", "½" to "1⁄2", "ª" to "a", "µ" to "μ", fullwidth forms to
// ASCII; "¨", "´" and the like to a blank and an accent), leaves them out
// (soft hyphen, zero-width characters, variation selectors) or refuses them
// (spaces, private use, specials such as U+FFFD); Roundcube then sends to
// another address, or drops it. Without Unicode's tables, any other
// character counts as a letter: Roundcube takes "©", "→" or "€" there.
constexpr char32_t NOT_AS_TYPED[][2] = {
    {0xA8, 0xA8},     {0xAA, 0xAA},     {0xAD, 0xAD},     {0xAF, 0xAF},     {0xB2, 0xB5},
    {0xB8, 0xBA},     {0xBC, 0xBE},     {0x2000, 0x200F}, {0x2024, 0x2026}, {0x2028, 0x202F},
    {0x205F, 0x206F}, {0x2070, 0x209F}, {0x2150, 0x218F}, {0x3000, 0x3000}, {0x3002, 0x3002},
    {0xE000, 0xF8FF}, {0xFB00, 0xFB06}, {0xFE00, 0xFE0F}, {0xFF01, 0xFF65}, {0xFFF0, 0xFFFF}};

// The character at M[i], where it is one beyond ASCII that no domain holds
// as typed; 0 otherwise.
char32_t no_domain_letter(const FieldReading& reading, std::size_t i) {
    const std::size_t length = 1 + utf8_continuations(reading.mail[i]);
    if (length == 1 || i + length > reading.mail_length ||
        first_non_utf8(reading.mail + i, length) != length) {
        return 0;
    }
    std::size_t at = i;
    const char32_t c = decode_utf8(reading.mail, at);
    const auto holds = [c](const char32_t(&range)[2]) { return c >= range[0] && c <= range[1]; };
    return std::any_of(std::begin(NOT_AS_TYPED), std::end(NOT_AS_TYPED), holds) ? c : 0;
}

// The character at M[i] as the note names it: one beyond ASCII whole.
Finding at_address(const Field& field, std::size_t i) {
    Finding finding = at_mail(field, i, NOT_DELIVERED, VALID_FORM);
    const char32_t c = no_domain_letter(field.reading, i);
    if (c != 0) {
        finding.character = c;
        finding.is_byte = false;
    }
    return finding;
}

Finding unnamed(const char* statement) {
    return {true, false, 0, false, false, 0, statement, "", NOT_DELIVERED, VALID_FORM};
}

// The part before the '@', M[begin, end), as both the HTML standard's valid
// e-mail address (what browsers check in <input type=email>) and
// Roundcube's check take it: a dot-atom. A character beyond ASCII counts as
// a letter: the standard's pattern has none, but every mail program tested
// sends an address such as müller@example.de as it is.
std::size_t bad_in_local_part(const unsigned char* mail, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned char c = mail[i];
        if (is_control(c)) {
            continue;
        }
        const bool dot_misplaced = c == '.' && (i == begin || i + 1 == end || mail[i + 1] == '.');
        const bool allowed =
            is_letter_or_digit(c) || c >= 0x80 || is_one_of(c, ".!#$%&'*+/=?^_`{|}~-");
        if (!allowed || dot_misplaced) {
            return i;
        }
    }
    return NOWHERE;
}

// What the label being read holds so far.
struct Label {
    std::size_t begin = 0;
    bool all_digits = true;
    bool hyphen = false;
    bool beyond_ascii = false;
};

// The label M[label.begin, dot) at its ends: empty, or a hyphen first or
// last; then its length, which a name beyond ASCII gets only as punycode.
Finding check_label_ends(const Field& field, const Label& label, std::size_t dot, std::size_t end) {
    const unsigned char* mail = field.reading.mail;
    if (dot == label.begin) {
        return at_mail(field, dot < end ? dot : dot - 1, NOT_DELIVERED, VALID_FORM);
    }
    if (mail[label.begin] == '-' || mail[dot - 1] == '-') {
        const std::size_t hyphen = mail[label.begin] == '-' ? label.begin : dot - 1;
        return at_mail(field, hyphen, NOT_DELIVERED, VALID_FORM);
    }
    if (!label.beyond_ascii && dot - label.begin > 63) {
        return unnamed("enthaelt nach dem @ einen Namen ueber 63 Zeichen");
    }
    return SILENT;
}

// The last label, M[label.begin, end), as a top-level domain: at least two
// characters, not all digits and with no hyphen (punycode aside).
Finding check_top_level(const unsigned char* mail, std::size_t begin, const Label& label,
                        std::size_t end) {
    if (label.begin == begin) {
        return unnamed("hat nach dem @ keinen Punkt");
    }
    const bool punycode = end - label.begin > 4 && std::memcmp(mail + label.begin, "xn--", 4) == 0;
    if (label.all_digits || end - label.begin < 2 ||
        (label.hyphen && !punycode && !label.beyond_ascii)) {
        return unnamed("endet nicht mit einer gueltigen Top-Level-Domain");
    }
    return SILENT;
}

// M[i] in a label: a letter, a digit, a hyphen, or a character beyond
// ASCII that stands in a domain as typed.
bool is_domain_character(const FieldReading& reading, std::size_t i) {
    const unsigned char c = reading.mail[i];
    if (c < 0x80) {
        return is_letter_or_digit(c) || c == '-';
    }
    return c < 0xC0 || no_domain_letter(reading, i) == 0;
}

// The part after the '@', M[begin, end): labels of letters, digits and
// hyphens, a hyphen at neither end, at most 63 characters, at least two of
// them, and a top-level domain last. A character beyond ASCII counts as a
// letter, as in münchen.de, which a mail program sends as an
// internationalised name.
Finding check_domain(const Field& field, std::size_t begin, std::size_t end) {
    const unsigned char* mail = field.reading.mail;
    Label label{begin};
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned char c = mail[i];
        if (c == '.') {
            const Finding ends = check_label_ends(field, label, i, end);
            if (ends.fires) {
                return ends;
            }
            label = Label{i + 1};
        } else if (!is_control(c)) {
            if (!is_domain_character(field.reading, i)) {
                return at_address(field, i);
            }
            label.all_digits = label.all_digits && c >= '0' && c <= '9';
            label.hyphen = label.hyphen || c == '-';
            label.beyond_ascii = label.beyond_ascii || c >= 0x80;
        }
    }
    const Finding ends = check_label_ends(field, label, end, end);
    return ends.fires ? ends : check_top_level(mail, begin, label, end);
}

} // namespace

namespace {

// Blanks, or tabs and line breaks written as escapes, at the address's ends
// reach the mail program: Roundcube keeps them inside the angle brackets
// and then drops the name.
Finding white_at_ends(const Field& field) {
    const Ends& ends = field.ends.mail;
    if (ends.lead_end == 0 && ends.trail_start == field.reading.mail_length) {
        return SILENT;
    }
    const bool at_start = ends.lead_end > 0;
    Finding finding = at_mail(field, at_start ? 0 : ends.trail_start,
                              "Roundcube setzt es mit zwischen die spitzen Klammern und laesst "
                              "dann den Namen weg.",
                              LEAVE_OUT);
    finding.statement = at_start ? "beginnt mit" : "endet mit";
    return finding;
}

// M[i], within the address's ends, where no address holds it at all.
Finding no_address_character(const Field& field, std::size_t i) {
    const unsigned char c = field.reading.mail[i];
    if (c == ',' || c == ';') {
        return at_mail(field, i, "ein Verweis dieser Form traegt nur einen Empfaenger.",
                       ONE_ADDRESS);
    }
    if (is_one_of(c, ":<>()[]\\\"")) {
        return at_mail(field, i, NO_ADDRESS,
                       "Geben Sie nur die Adresse selbst an, z. B. max.mustermann@example.com.");
    }
    if (c == ' ') {
        return at_mail(field, i, "Mailprogramme lassen es weg oder schneiden die Adresse dort ab.",
                       LEAVE_OUT);
    }
    return SILENT;
}

// The '@' at M[first_at] (NOWHERE for none): there, and not at either end.
Finding check_at_sign(const Field& field, std::size_t first_at, std::size_t begin,
                      std::size_t end) {
    if (first_at == NOWHERE) {
        return {true, false, 0, false, false, 0, "enthaelt kein @", "", NO_ADDRESS, ADDRESS_FORM};
    }
    if (first_at == begin || first_at + 1 == end) {
        Finding finding = at_mail(field, first_at, NO_ADDRESS, ADDRESS_FORM);
        finding.statement = first_at == begin ? "beginnt mit" : "endet mit";
        return finding;
    }
    return SILENT;
}

} // namespace

Finding check_address_syntax(const Field& field) {
    const FieldReading& reading = field.reading;
    const std::size_t begin = field.ends.mail.lead_end;
    const std::size_t end = field.ends.mail.trail_start;
    std::size_t first_at = NOWHERE;
    for (std::size_t i = 0; i < reading.mail_length; ++i) {
        const unsigned char c = reading.mail[i];
        if (c == 0xC2 && i + 1 < reading.mail_length && reading.mail[i + 1] == NO_BREAK_SPACE) {
            return found(NO_BREAK_SPACE, mail_typed_at(reading, i),
                         "kein Mailserver stellt an eine Adresse damit zu.", LEAVE_OUT);
        }
        if (i < begin || i >= end) {
            continue;
        }
        const Finding misplaced = no_address_character(field, i);
        if (misplaced.fires) {
            return misplaced;
        }
        if (c == '@' && first_at != NOWHERE) {
            Finding finding = at_mail(field, i, NO_ADDRESS, ONE_ADDRESS);
            finding.statement = "enthaelt mehr als ein";
            return finding;
        }
        first_at = c == '@' ? i : first_at;
    }
    const Finding at_sign = check_at_sign(field, first_at, begin, end);
    if (at_sign.fires) {
        return at_sign;
    }
    const std::size_t bad = bad_in_local_part(reading.mail, begin, first_at);
    if (bad != NOWHERE) {
        return at_address(field, bad);
    }
    const Finding domain = check_domain(field, first_at + 1, end);
    return domain.fires ? domain : white_at_ends(field);
}
