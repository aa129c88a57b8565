#include "check/field_rules.h"

#include <cstddef>
#include <cstring>

#include "check/address_beyond_ascii.h"
#include "check/address_rules.h"
#include "check/code_page_misreading.h"
#include "check/decoded_twice.h"
#include "check/name_rules.h"
#include "check/rich_text.h"
#include "check/rule_field.h"
#include "check/utf8.h"

namespace {

Finding check_typed_quote(const Field& field) {
    const std::size_t at = first_typed_quote(field.text);
    if (field.which == LinkField::recipient_name || at == NOWHERE) {
        return SILENT; // the name's own check covers it there
    }
    return found('"', at, ENDS_HREF,
                 field.which == LinkField::recipient_address ? LEAVE_OUT
                                                             : "Schreiben Sie %22 (oder &quot;).");
}

// The first character the browser hands on that is c.
Finding first_handed_on(const Field& field, char32_t c, const char* effect, const char* advice) {
    const FieldReading& reading = field.reading;
    for (std::size_t k = 0; k < reading.handed_on_length; ++k) {
        if (reading.page[reading.handed_on[k]] == c) {
            return at_page(field, reading.handed_on[k], effect, advice);
        }
    }
    return SILENT;
}

Finding check_broken_percent(const Field& field) {
    const FieldReading& reading = field.reading;
    const std::size_t count = reading.handed_on_length;
    for (std::size_t k = 0; k < count; ++k) {
        if (reading.page[reading.handed_on[k]] == '%' && !starts_escape(reading, k)) {
            Finding finding = at_page(field, reading.handed_on[k],
                                      "Chromium reicht es als %25 weiter, Firefox aber so, wie es "
                                      "ist, und dann weisen Mutt und NeoMutt den Verweis ab.",
                                      "Schreiben Sie %25.");
            finding.detail = " ohne zwei Hexadezimalziffern danach";
            return finding;
        }
    }
    return SILENT;
}

Finding check_deleted_by_browser(const Field& field) {
    const FieldReading& reading = field.reading;
    for (std::size_t i = 0; i < reading.page_length; ++i) {
        if (url_parser_deletes(reading.page[i]) && !field.ends.page.at(i)) {
            return at_page(field, i, "der Browser loescht es aus dem Verweis.",
                           field.which == LinkField::recipient_address
                               ? LEAVE_OUT
                               : "Schreiben Sie ein Leerzeichen.");
        }
    }
    return SILENT;
}

// A C1 control character, U+0080 to U+009F, at M[i].
bool is_c1_control(const FieldReading& reading, std::size_t i) {
    return i + 1 < reading.mail_length && reading.mail[i] == 0xC2 && reading.mail[i + 1] >= 0x80 &&
           reading.mail[i + 1] <= 0x9F;
}

bool is_white_byte(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// U+0085, NEXT LINE, at M[i].
bool is_next_line(const FieldReading& reading, std::size_t i) {
    return i + 1 < reading.mail_length && reading.mail[i] == 0xC2 && reading.mail[i + 1] == 0x85;
}

// NEXT LINE is white space to Thunderbird: it drops one at a field's ends,
// next to an enclosed name's quotes or beside other white space, as it
// folds blanks there, and the other readers keep it. Only between two other
// characters does dropping it join them.
bool next_line_beside_white(const Field& field, std::size_t i) {
    const FieldReading& reading = field.reading;
    const std::size_t after = i + 2;
    const bool enclosed = field.ends.enclosed;
    const bool white_before = i == 0 || (enclosed && i == field.ends.mail.lead_end + 1) ||
                              is_white_byte(reading.mail[i - 1]) ||
                              (i >= 2 && is_next_line(reading, i - 2));
    const bool white_after = after == reading.mail_length ||
                             (enclosed && after + 1 == field.ends.mail.trail_start) ||
                             is_white_byte(reading.mail[after]) || is_next_line(reading, after);
    return is_next_line(reading, i) && (white_before || white_after);
}

Finding check_control_characters(const Field& field) {
    const FieldReading& reading = field.reading;
    const bool subject = field.which == LinkField::subject;
    for (std::size_t i = 0; i < reading.mail_length; ++i) {
        const unsigned char c = reading.mail[i];
        const bool line_break = c == '\n' || c == '\r';
        if ((c < 0x20 && c != '\t' && !line_break) || c == 0x7F) {
            return at_mail(field, i, "Mailprogramme zeigen es nicht oder falsch an.", LEAVE_OUT);
        }
        // Thunderbird drops a C1 control character.
        // In an address, Roundcube refuses any control character.
        if (is_c1_control(reading, i) &&
            (field.which == LinkField::recipient_address || !next_line_beside_white(field, i))) {
            Finding finding =
                at_mail(field, i, "Mailprogramme zeigen es nicht oder falsch an.", LEAVE_OUT);
            finding.character = reading.mail[i + 1];
            finding.is_byte = false;
            return finding;
        }
        if (subject && line_break) {
            return at_mail(field, i,
                           "Mailprogramme zeigen es als Steuerzeichen an oder lassen es weg.",
                           LEAVE_OUT);
        }
        // A line break ends the name's header line, between its quotes too;
        // a tab is kept as it is there. Both are dropped at the outer ends.
        const bool misread = line_break || (c == '\t' && !field.ends.enclosed);
        if (!subject && misread && !field.ends.mail.outer(i)) {
            return at_mail(field, i,
                           "Mailprogramme machen daraus ein Leerzeichen oder lesen den Empfaenger "
                           "falsch.",
                           LEAVE_OUT);
        }
    }
    return SILENT;
}

Finding check_not_utf8(const Field& field) {
    const char* advice = field.which == LinkField::recipient_name
                             ? "Schreiben Sie das Zeichen selbst in UTF-8 oder als "
                               "Zeichenreferenz wie &uuml;."
                             : "Schreiben Sie das Zeichen selbst in UTF-8 oder als "
                               "UTF-8-Escapes wie %C3%BC.";
    const char* effect = "Mailprogramme zeigen dafuer ein Fragezeichen oder ein Ersatzzeichen.";
    const std::size_t typed_length = std::strlen(field.typed);
    const std::size_t in_typed = first_non_utf8(field.typed, typed_length);
    const FieldReading& reading = field.reading;
    const std::size_t in_mail = first_non_utf8(reading.mail, reading.mail_length);
    if (in_typed == typed_length && in_mail == reading.mail_length) {
        return SILENT;
    }
    Finding finding =
        in_typed < typed_length
            ? found(static_cast<unsigned char>(field.typed[in_typed]), in_typed, effect, advice)
            : at_mail(field, in_mail, effect, advice);
    finding.is_byte = true;
    finding.in_whole_argument = in_typed < typed_length;
    finding.detail = ", das nicht zu UTF-8 gehoert";
    return finding;
}

// The mail program splits the query at a '&'; NeoMutt reads a value only
// up to a '=' (its pattern is ([^&=]+)=([^&=]+)); web mail that decodes the
// query as a form (Roundcube: PHP's parse_str) reads a '+' as a blank.
Finding check_subject_separators(const Field& field) {
    const Finding ampersand =
        first_handed_on(field, '&', "dort endet der Betreff.", "Schreiben Sie %26.");
    if (ampersand.fires) {
        return ampersand;
    }
    const Finding equals = first_handed_on(
        field, '=', "NeoMutt schneidet den Betreff dort ohne Meldung ab.", "Schreiben Sie %3d.");
    if (equals.fires) {
        return equals;
    }
    return first_handed_on(field, '+',
                           "Roundcube macht daraus ein Leerzeichen (nach Berichten auch Gmail).",
                           "Schreiben Sie %2b.");
}

// In name and address no form of '#' or '?' reaches KMail: it decodes
// "%23" and "%3f" before it splits the link.
constexpr char LEAVE_OUT_FOR_KMAIL[] =
    "Lassen Sie es weg: auch als Escape geschrieben verliert KMail den Empfaenger.";

// The note names no single character: it shows the whole field, and what
// it most likely meant.
Finding check_code_page(const Field& field) {
    FieldMeaning meant{};
    if (find_misreading(field.which, field.text, meant) == Misreading::none) {
        return SILENT;
    }
    return {true, false, 0, false, false, 0, "", "", "", ""};
}

// The checks for what KMail breaks.
Finding check_for_kmail(int number, const Field& field) {
    const bool address = field.which == LinkField::recipient_address;
    switch (number) {
    case FAULT_DECODED_TWICE:
        // An address that check 7 refuses reaches no one anyway.
        return address && check_address_syntax(field).fires ? SILENT : check_decoded_twice(field);
    case FAULT_DOTTED_NAME:
        // Where check 6 fires, its rewrite encloses the name anyway.
        return field.which == LinkField::recipient_name && !check_name_syntax(field).fires
                   ? check_dotted_name(field)
                   : SILENT;
    case FAULT_ADDRESS_BEYOND_ASCII:
        return address && !check_address_syntax(field).fires ? check_address_beyond_ascii(field)
                                                             : SILENT;
    case FAULT_SUBJECT_RICH_TEXT:
        return field.which == LinkField::subject ? check_subject_rich_text(field) : SILENT;
    default:
        return SILENT;
    }
}

Finding check(int number, const Field& field) {
    const bool name = field.which == LinkField::recipient_name;
    const bool subject = field.which == LinkField::subject;
    switch (number) {
    case FAULT_QUOTE_ENDS_HREF:
        return check_typed_quote(field);
    case FAULT_HASH_STARTS_FRAGMENT:
        // Both browsers hand a '#' on as it is. NeoMutt then takes the whole
        // argument for an address; a program that splits the link as the URL
        // standard says loses what follows.
        return first_handed_on(field, '#',
                               "dort beginnt nach der URL-Norm ein Fragment: NeoMutt nimmt dann "
                               "den ganzen Verweis als Empfaengeradresse, und Programme, die sich "
                               "an die Norm halten, verlieren den Rest des Verweises und die "
                               "Nachricht.",
                               subject ? "Schreiben Sie %23." : LEAVE_OUT_FOR_KMAIL);
    case FAULT_BROKEN_PERCENT:
        return check_broken_percent(field);
    case FAULT_QUESTION_MARK:
        return subject
                   ? SILENT
                   : first_handed_on(field, '?', "dort beginnt der Betreff.", LEAVE_OUT_FOR_KMAIL);
    case FAULT_AMPERSAND_ENDS_SUBJECT:
        return subject ? check_subject_separators(field) : SILENT;
    case FAULT_NAME_SYNTAX:
        return name ? check_name_syntax(field) : SILENT;
    case FAULT_ADDRESS_SYNTAX:
        return field.which == LinkField::recipient_address ? check_address_syntax(field) : SILENT;
    case FAULT_DELETED_BY_BROWSER:
        return check_deleted_by_browser(field);
    case FAULT_CONTROL_CHARACTER:
        return check_control_characters(field);
    case FAULT_NOT_UTF8:
        return check_not_utf8(field);
    case FAULT_NAME_TAG:
        return name && !check_name_syntax(field).fires ? check_name_tag(field) : SILENT;
    case FAULT_WRONG_CODE_PAGE:
        return check_code_page(field);
    case FAULT_NAME_READ_AS_HTML:
        return name ? check_name_read_as_html(field) : SILENT;
    default:
        return check_for_kmail(number, field);
    }
}

Field field_for(LinkField which, const char* text, const char* typed) {
    Field field{};
    field.which = which;
    field.text = text;
    field.typed = typed;
    read_field(text, field.reading);
    field.ends = find_field_ends(field.reading, which == LinkField::recipient_name);
    return field;
}

} // namespace

FieldFindings find_field_faults(LinkField which, const char* text, const char* typed) {
    const Field field = field_for(which, text, typed);
    FieldFindings findings{};
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= LAST_FIELD_RULE; ++number) {
        findings.by_rule[number] = check(number, field);
    }
    return findings;
}

unsigned link_field_faults(LinkField which, const char* text, const char* typed) {
    const FieldFindings findings = find_field_faults(which, text, typed);
    unsigned faults = 0;
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= LAST_FIELD_RULE; ++number) {
        if (findings.by_rule[number].fires) {
            faults |= 1U << static_cast<unsigned>(number);
        }
    }
    return faults;
}
