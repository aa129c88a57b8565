#include "check/address_beyond_ascii.h"

#include "check/ascii_domain.h"
#include "check/utf8.h"

namespace {

// The character beyond ASCII at M[i], which must start a whole UTF-8
// character; 0 for an ASCII byte.
char32_t beyond_ascii_at(const FieldReading& reading, std::size_t i) {
    if (reading.mail[i] < 0x80) {
        return 0;
    }
    std::size_t at = i;
    return decode_utf8(reading.mail, at);
}

// The characters of M[begin, end), whole UTF-8 as it is.
std::size_t decoded(const FieldReading& reading, std::size_t begin, std::size_t end,
                    char32_t* out) {
    std::size_t length = 0;
    for (std::size_t at = begin; at < end;) {
        out[length++] = decode_utf8(reading.mail, at);
    }
    return length;
}

// Whether the domain M[begin, end) has an ASCII form that this program can
// give.
bool has_ascii_form(const FieldReading& reading, std::size_t begin, std::size_t end) {
    char32_t domain[4 * READING_LIMIT];
    char32_t ascii[4 * READING_LIMIT];
    const std::size_t length = decoded(reading, begin, end, domain);
    return ascii_domain(domain, length, ascii, 4 * READING_LIMIT) > 0;
}

Finding named_whole(Finding finding, char32_t c) {
    finding.character = c;
    finding.is_byte = false;
    return finding;
}

} // namespace

Finding check_address_beyond_ascii(const Field& field) {
    const FieldReading& reading = field.reading;
    if (first_non_utf8(reading.mail, reading.mail_length) != reading.mail_length) {
        return SILENT; // check 10
    }
    const std::size_t begin = field.ends.mail.lead_end;
    const std::size_t end = field.ends.mail.trail_start;
    std::size_t at_sign = NOWHERE;
    for (std::size_t i = begin; i < end; i += 1 + utf8_continuations(reading.mail[i])) {
        const char32_t c = beyond_ascii_at(reading, i);
        at_sign = at_sign == NOWHERE && reading.mail[i] == '@' ? i : at_sign;
        if (c == 0 || c == NO_BREAK_SPACE || (c >= 0x80 && c <= 0x9F)) {
            continue;
        }
        if (at_sign == NOWHERE) {
            return named_whole(at_mail(field, i,
                                       "KMail und Mailserver ohne SMTPUTF8 stellen an sie "
                                       "nicht zu.",
                                       "Geben Sie, wenn es sie gibt, eine Adresse nur aus "
                                       "ASCII-Zeichen an."),
                               c);
        }
        const char* advice = has_ascii_form(reading, at_sign + 1, end)
                                 ? "Schreiben Sie den Namen nach dem @ in seiner ASCII-Form "
                                   "(Punycode, \"xn--...\")."
                                 : "Schreiben Sie den Namen nach dem @ in der ASCII-Form "
                                   "(\"xn--...\"), die sein Inhaber angibt.";
        return named_whole(at_mail(field, i,
                                   "KMail schreibt die Adresse so um, dass kein Mailserver an "
                                   "sie zustellt.",
                                   advice),
                           c);
    }
    return SILENT;
}
