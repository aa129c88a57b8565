#include "check/address_rules.h"

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

// Ranges beyond ASCII that hold no letters (the C1 controls are check
// 9's): Latin-1's signs and the no-break space, punctuation, symbols,
// arrows and box drawing, CJK punctuation, private use and specials (U+FFFD
// among them). A mail program cannot write a domain with one of them as an
// internationalised name (Roundcube drops the address); without Unicode's
// tables, any other character counts as a letter (Roundcube takes an emoji).
constexpr char32_t NO_LETTERS[][2] = {{0xA0, 0xBF},     {0xD7, 0xD7},     {0xF7, 0xF7},
                                      {0x2000, 0x2BFF}, {0x3000, 0x303F}, {0xE000, 0xF8FF},
                                      {0xFE00, 0xFE0F}, {0xFFF0, 0xFFFF}};

// The character at M[i], where it is one beyond ASCII that no domain holds;
// 0 otherwise.
char32_t no_domain_letter(const FieldReading& reading, std::size_t i) {
    const std::size_t length = 1 + utf8_continuations(reading.mail[i]);
    if (length == 1 || i + length > reading.mail_length ||
        first_non_utf8(reading.mail + i, length) != length) {
        return 0;
    }
    std::size_t at = i;
    const char32_t c = decode_utf8(reading.mail, at);
    for (const auto& range : NO_LETTERS) {
        if (c >= range[0] && c <= range[1]) {
            return c;
        }
    }
    return 0;
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

// The part after the '@', M[begin, end): labels of letters, digits and
// hyphens, a hyphen at neither end, at most 63 characters, at least two of
// them, the last of two characters or more, not all digits and with no
// hyphen. A character beyond ASCII counts as a letter, as in münchen.de,
// which a mail program sends as an internationalised name.
Finding check_domain(const Field& field, std::size_t begin, std::size_t end) {
    const unsigned char* mail = field.reading.mail;
    std::size_t label = begin;
    bool all_digits = true;
    bool hyphen = false;
    bool beyond_ascii = false;
    for (std::size_t i = begin; i <= end; ++i) {
        const unsigned char c = i < end ? mail[i] : '.';
        if (c == '.') {
            // An empty label, or a hyphen at either end of one.
            std::size_t misplaced = NOWHERE;
            if (i == label) {
                misplaced = i < end ? i : i - 1;
            } else if (mail[label] == '-' || mail[i - 1] == '-') {
                misplaced = mail[label] == '-' ? label : i - 1;
            }
            if (misplaced != NOWHERE) {
                return at_mail(field, misplaced, NOT_DELIVERED, VALID_FORM);
            }
            if (!beyond_ascii && i - label > 63) {
                return unnamed("enthaelt nach dem @ einen Namen ueber 63 Zeichen");
            }
            if (i == end) {
                break;
            }
            label = i + 1;
            all_digits = true;
            hyphen = false;
            beyond_ascii = false;
            continue;
        }
        if (is_control(c)) {
            continue;
        }
        if ((!is_letter_or_digit(c) && c != '-' && c < 0x80) ||
            (c >= 0xC0 && no_domain_letter(field.reading, i) != 0)) {
            return at_address(field, i);
        }
        all_digits = all_digits && c >= '0' && c <= '9';
        hyphen = hyphen || c == '-';
        beyond_ascii = beyond_ascii || c >= 0x80;
    }
    if (label == begin) {
        return unnamed("hat nach dem @ keinen Punkt");
    }
    const bool punycode = end - label > 4 && std::memcmp(mail + label, "xn--", 4) == 0;
    if (all_digits || end - label < 2 || (hyphen && !punycode && !beyond_ascii)) {
        return unnamed("endet nicht mit einer gueltigen Top-Level-Domain");
    }
    return SILENT;
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
        if (c == ',' || c == ';') {
            return at_mail(field, i, "ein Verweis dieser Form traegt nur einen Empfaenger.",
                           ONE_ADDRESS);
        }
        if (is_one_of(c, ":<>()[]\\\"")) {
            return at_mail(
                field, i, NO_ADDRESS,
                "Geben Sie nur die Adresse selbst an, z. B. max.mustermann@example.com.");
        }
        if (c == ' ') {
            return at_mail(field, i,
                           "Mailprogramme lassen es weg oder schneiden die Adresse dort ab.",
                           LEAVE_OUT);
        }
        if (c == '@' && first_at != NOWHERE) {
            Finding finding = at_mail(field, i, NO_ADDRESS, ONE_ADDRESS);
            finding.statement = "enthaelt mehr als ein";
            return finding;
        }
        first_at = c == '@' ? i : first_at;
    }
    if (first_at == NOWHERE) {
        return {true, false, 0, false, false, 0, "enthaelt kein @", "", NO_ADDRESS, ADDRESS_FORM};
    }
    if (first_at == begin || first_at + 1 == end) {
        Finding finding = at_mail(field, first_at, NO_ADDRESS, ADDRESS_FORM);
        finding.statement = first_at == begin ? "beginnt mit" : "endet mit";
        return finding;
    }
    const std::size_t bad = bad_in_local_part(reading.mail, begin, first_at);
    if (bad != NOWHERE) {
        return at_address(field, bad);
    }
    const Finding domain = check_domain(field, first_at + 1, end);
    if (domain.fires) {
        return domain;
    }
    return white_at_ends(field);
}
