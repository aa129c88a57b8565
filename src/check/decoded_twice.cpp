#include "check/decoded_twice.h"

namespace {

constexpr char OTHER_CHARACTER[] =
    "KMail dekodiert den Verweis zweimal und zeigt dort ein anderes Zeichen oder verliert Text.";
constexpr char SPACE_AFTER_PERCENT[] =
    "Setzen Sie ein Leerzeichen hinter das % oder schreiben Sie \"Prozent\".";

// M[i] is a '%' that KMail's second decoding takes for an escape.
bool escape_again(const FieldReading& reading, std::size_t i) {
    return reading.mail[i] == '%' && i + 2 < reading.mail_length &&
           is_hex_digit(reading.mail[i + 1]) && is_hex_digit(reading.mail[i + 2]);
}

// M[i] came from an escape "%xx", not from a character typed as itself.
bool from_escape(const FieldReading& reading, std::size_t i) {
    return reading.mail_page_first[i] != reading.mail_page_last[i];
}

// Where the last '=' of M is, or NOWHERE.
std::size_t last_equals(const FieldReading& reading) {
    for (std::size_t k = reading.mail_length; k > 0; --k) {
        if (reading.mail[k - 1] == '=') {
            return k - 1;
        }
    }
    return NOWHERE;
}

// In the subject, KMail's first decoding makes a '&' of "%26", which then
// ends the subject: a value that starts with it, or has a '=' after it,
// loses its text (the rest goes as a parameter KMail does not know).
bool ends_subject(const FieldReading& reading, std::size_t i, std::size_t equals) {
    return reading.mail[i] == '&' && (i == 0 || (equals != NOWHERE && equals > i));
}

// In name and address, KMail's first decoding makes a real '#' or '?' of
// "%23" and "%3f": the first starts a fragment, the second the query.
bool ends_recipient(const FieldReading& reading, std::size_t i) {
    return (reading.mail[i] == '#' || reading.mail[i] == '?') && from_escape(reading, i);
}

} // namespace

Finding check_decoded_twice(const Field& field) {
    const FieldReading& reading = field.reading;
    const bool subject = field.which == LinkField::subject;
    const std::size_t equals = last_equals(reading);
    for (std::size_t i = 0; i < reading.mail_length; ++i) {
        if (escape_again(reading, i)) {
            Finding finding = at_mail(field, i, OTHER_CHARACTER, SPACE_AFTER_PERCENT);
            finding.detail = " mit zwei Hexadezimalziffern danach";
            return finding;
        }
        if (subject && ends_subject(reading, i, equals)) {
            return at_mail(field, i,
                           "KMail dekodiert den Verweis zweimal und beendet den Betreff dort, "
                           "auch als %26 geschrieben; der Text danach geht verloren.",
                           "Lassen Sie es weg oder schreiben Sie \"und\".");
        }
        if (!subject && ends_recipient(reading, i)) {
            Finding finding = at_mail(field, i,
                                      "KMail dekodiert den Verweis zweimal, dann endet dort der "
                                      "Empfaenger, und er geht verloren.",
                                      LEAVE_OUT);
            finding.detail = ", als Escape geschrieben";
            return finding;
        }
    }
    return SILENT;
}
