#include "check/field_rules.h"

#include <cstddef>
#include <cstring>

#include "check/code_page_misreading.h"
#include "check/field_ends.h"
#include "check/field_reading.h"
#include "check/utf8.h"

namespace {

constexpr std::size_t NOWHERE = static_cast<std::size_t>(-1);
constexpr char32_t NO_BREAK_SPACE = 0xA0;

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A field with its readings, as the rules look at it.
struct Field {
    LinkField which;
    const char* text;  // as it goes into the link
    const char* typed; // the argument before the cut
    FieldReading reading;
    FieldEnds ends;
};

constexpr Finding SILENT{false, false, 0, false, false, 0, "", "", "", ""};

constexpr char ENDS_HREF[] = "dort endet der Verweis im HTML-Code, der Rest geht verloren.";
constexpr char NO_ADDRESS[] = "das Mailprogramm erkennt darin keine Adresse.";
constexpr char ADDRESS_FORM[] = "Geben Sie sie in der Form name@example.com an.";
constexpr char ONE_ADDRESS[] = "Geben Sie eine einzige Adresse an.";
constexpr char LEAVE_OUT[] = "Lassen Sie es weg.";
constexpr char QUOTE_NAME[] =
    "Setzen Sie den ganzen Namen zwischen &quot; und &quot; und schreiben Sie darin < als &lt; "
    "und > als &gt;, z. B. \"&quot;Max &lt;Chef&gt; Mustermann&quot;\".";

Finding found(char32_t character, std::size_t typed_at, const char* effect, const char* advice) {
    return {true, true, character, false, false, typed_at, "enthaelt", "", effect, advice};
}

Finding at_page(const Field& field, std::size_t index, const char* effect, const char* advice) {
    return found(field.reading.page[index], field.reading.page_typed_at[index], effect, advice);
}

// Where the character that M's byte at index came from was typed.
std::size_t mail_typed_at(const FieldReading& reading, std::size_t index) {
    return reading.page_typed_at[reading.mail_page_first[index]];
}

Finding at_mail(const Field& field, std::size_t index, const char* effect, const char* advice) {
    const FieldReading& reading = field.reading;
    Finding finding = found(reading.mail[index], mail_typed_at(reading, index), effect, advice);
    finding.is_byte = reading.mail[index] >= 0x80;
    return finding;
}

std::size_t first_typed_quote(const char* text) {
    const char* quote = std::strchr(text, '"');
    return quote == nullptr ? NOWHERE : static_cast<std::size_t>(quote - text);
}

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
                                      "Mailprogramme weisen den Verweis ab.", "Schreiben Sie %25.");
            finding.detail = " ohne zwei Hexadezimalziffern danach";
            return finding;
        }
    }
    return SILENT;
}

// What to do with a character of the name that no quoting gets through
// every mail program: a '"' or '\\' (Mutt, Alpine), a ';' (Thunderbird reads
// it as ',', between quotes too).
const char* advice_for_name_character(char32_t c) {
    if (c == ';') {
        return "Lassen Sie es weg oder schreiben Sie ein Komma und setzen Sie den ganzen Namen "
               "zwischen &quot; und &quot;.";
    }
    return c == '"' || c == '\\' ? LEAVE_OUT : QUOTE_NAME;
}

// The name as a mail program reads "NAME <ADDRESS>": a quoted string, or
// plain words that none of these characters may split. A '"' typed as such
// also ends the href, quoted string or not.
Finding check_name_syntax(const Field& field) {
    const FieldReading& reading = field.reading;
    const bool enclosed = field.ends.enclosed;
    const std::size_t begin = field.ends.mail.lead_end;
    const std::size_t end = field.ends.mail.trail_start;
    std::size_t index = NOWHERE;
    for (std::size_t i = enclosed ? begin + 1 : begin; i < (enclosed ? end - 1 : end); ++i) {
        if (is_one_of(reading.mail[i], enclosed ? "\"\\;" : "\",;:<>()[]@\\")) {
            index = i;
            break;
        }
    }
    const std::size_t typed_quote = first_typed_quote(field.text);
    const auto typed_at = [&reading](std::size_t i) { return mail_typed_at(reading, i); };
    if (typed_quote != NOWHERE && (index == NOWHERE || typed_quote <= typed_at(index))) {
        // One that would enclose the name is to be written &quot;, any other
        // is to go.
        const bool encloses =
            end > begin && (typed_quote == typed_at(begin) || typed_quote == typed_at(end - 1));
        return found('"', typed_quote, ENDS_HREF, encloses ? QUOTE_NAME : LEAVE_OUT);
    }
    if (index == NOWHERE) {
        return SILENT;
    }
    const char32_t character = reading.mail[index];
    if (!enclosed) {
        return at_mail(field, index,
                       "Mailprogramme zerlegen den Namen in mehrere Empfaenger, lassen einen Teil "
                       "davon weg oder erkennen den Empfaenger nicht.",
                       advice_for_name_character(character));
    }
    Finding finding = at_mail(field, index,
                              character == ';' ? "Thunderbird macht daraus ein Komma."
                                               : "das Mailprogramm liest den Namen falsch.",
                              advice_for_name_character(character));
    finding.detail = " innerhalb der umschliessenden Anfuehrungszeichen";
    return finding;
}

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
    if (first_at != begin && first_at + 1 != end) {
        return SILENT;
    }
    Finding finding = at_mail(field, first_at, NO_ADDRESS, ADDRESS_FORM);
    finding.statement = first_at == begin ? "beginnt mit" : "endet mit";
    return finding;
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

Finding check_control_characters(const Field& field) {
    const FieldReading& reading = field.reading;
    const bool subject = field.which == LinkField::subject;
    for (std::size_t i = 0; i < reading.mail_length; ++i) {
        const unsigned char c = reading.mail[i];
        const bool line_break = c == '\n' || c == '\r';
        if ((c < 0x20 && c != '\t' && !line_break) || c == 0x7F) {
            return at_mail(field, i, "Mailprogramme zeigen es nicht oder falsch an.", LEAVE_OUT);
        }
        // A C1 control character, U+0080 to U+009F: Thunderbird drops it.
        if (c == 0xC2 && i + 1 < reading.mail_length && reading.mail[i + 1] >= 0x80 &&
            reading.mail[i + 1] <= 0x9F) {
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

// In the page's text a '<' before a letter, '/', '!' or '?' opens a tag.
Finding check_name_tag(const Field& field) {
    for (std::size_t i = 0; field.text[i] != '\0'; ++i) {
        const char next = field.text[i + 1];
        if (field.text[i] == '<' &&
            (is_ascii_letter(next) || next == '/' || next == '!' || next == '?')) {
            return found('<', i,
                         "die Seite haelt es fuer den Beginn eines HTML-Tags und zeigt diesen Teil "
                         "des Namens nicht an.",
                         "Schreiben Sie &lt;.");
        }
    }
    return SILENT;
}

// The note names no single character: it shows the whole field, and what
// it most likely meant.
Finding check_code_page(const Field& field) {
    FieldMeaning meant{};
    if (find_misreading(field.which, field.text, meant) == Misreading::none) {
        return SILENT;
    }
    return {true, false, 0, false, false, 0, "", "", "", ""};
}

Finding check(int number, const Field& field) {
    const bool name = field.which == LinkField::recipient_name;
    const bool subject = field.which == LinkField::subject;
    switch (number) {
    case FAULT_QUOTE_ENDS_HREF:
        return check_typed_quote(field);
    case FAULT_HASH_STARTS_FRAGMENT:
        // Browsers and the mail programs tested read on; a program that splits
        // the link as the URL standard says does not.
        return first_handed_on(field, '#',
                               "dort beginnt nach der URL-Norm ein Fragment; Programme, die sich "
                               "daran halten, verlieren den Rest des Verweises und die Nachricht.",
                               "Schreiben Sie %23.");
    case FAULT_BROKEN_PERCENT:
        return check_broken_percent(field);
    case FAULT_QUESTION_MARK:
        return subject
                   ? SILENT
                   : first_handed_on(field, '?', "dort beginnt der Betreff.", "Schreiben Sie %3f.");
    case FAULT_AMPERSAND_ENDS_SUBJECT:
        return subject
                   ? first_handed_on(field, '&', "dort endet der Betreff.", "Schreiben Sie %26.")
                   : SILENT;
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
    default:
        return SILENT;
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
