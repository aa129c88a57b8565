#include "link/link_check.h"

#include <cstddef>
#include <cstring>

#include "common/common.h"
#include "link/field_reading.h"

namespace {

constexpr std::size_t NOWHERE = static_cast<std::size_t>(-1);
constexpr char32_t NO_BREAK_SPACE = 0xA0;

bool is_space(char32_t c) { return c == ' ' || url_parser_deletes(c); }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_one_of(char32_t c, const char* set) {
    return c != 0 && c < 0x80 && std::strchr(set, static_cast<char>(c)) != nullptr;
}

// The runs of blanks, tabs and line breaks at a text's ends, and in an
// enclosed name those next to its quotes: a mail program drops them.
struct Ends {
    std::size_t lead_end;    // [0, lead_end) touches the start
    std::size_t trail_start; // [trail_start, length) touches the end
    std::size_t after_open_begin;
    std::size_t after_open_end;
    std::size_t before_close_begin;
    std::size_t before_close_end;

    [[nodiscard]] bool at(std::size_t i) const {
        return i < lead_end || i >= trail_start || (i >= after_open_begin && i < after_open_end) ||
               (i >= before_close_begin && i < before_close_end);
    }
};

template <typename Character>
std::size_t skip_spaces(const Character* text, std::size_t from, std::size_t end) {
    while (from < end && is_space(text[from])) {
        ++from;
    }
    return from;
}

template <typename Character>
std::size_t skip_spaces_back(const Character* text, std::size_t end, std::size_t begin) {
    while (end > begin && is_space(text[end - 1])) {
        --end;
    }
    return end;
}

template <typename Character> Ends outer_ends(const Character* text, std::size_t length) {
    const std::size_t begin = skip_spaces(text, 0, length);
    return {begin, skip_spaces_back(text, length, begin), 0, 0, 0, 0};
}

// The run of spaces after the opening quote at open and before the closing
// one at close.
template <typename Character>
void add_inner_ends(Ends& ends, const Character* text, std::size_t open, std::size_t close) {
    ends.after_open_begin = open + 1;
    ends.after_open_end = skip_spaces(text, open + 1, close);
    ends.before_close_end = close;
    ends.before_close_begin = skip_spaces_back(text, close, ends.after_open_end);
}

// A field with its readings, as the checks look at it.
struct Field {
    LinkField which;
    const char* text;  // as it goes into the link
    const char* typed; // the argument before the cut
    FieldReading reading;
    Ends page_ends;
    Ends mail_ends;
    bool enclosed; // a name in '"' ... '"', as the mail program reads it
};

void prepare(Field& field) {
    FieldReading& reading = field.reading;
    read_field(field.text, reading);
    field.page_ends = outer_ends(reading.page, reading.page_length);
    field.mail_ends = outer_ends(reading.mail, reading.mail_length);
    const std::size_t begin = field.mail_ends.lead_end;
    const std::size_t end = field.mail_ends.trail_start;
    field.enclosed = field.which == LinkField::recipient_name && end - begin >= 2 &&
                     reading.mail[begin] == '"' && reading.mail[end - 1] == '"';
    if (field.enclosed) {
        add_inner_ends(field.mail_ends, reading.mail, begin, end - 1);
        add_inner_ends(field.page_ends, reading.page, reading.mail_page_last[begin],
                       reading.mail_page_first[end - 1]);
    }
}

// What one check found: the first offending character (none where named
// is false), where it was typed, and the words of the note around it.
struct Finding {
    bool fires;
    bool named;
    char32_t character;
    bool is_byte;           // a byte that is no UTF-8, named as "%xx"
    bool in_whole_argument; // found in the argument, not its cut copy
    std::size_t typed_at;
    const char* statement; // before the character
    const char* detail;    // after it
    const char* effect;
    const char* advice;
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

// The name as a mail program reads "NAME <ADDRESS>": a quoted string, or
// plain words that none of these characters may split. A '"' typed as such
// also ends the href, quoted string or not.
Finding check_name_syntax(const Field& field) {
    const FieldReading& reading = field.reading;
    const std::size_t begin = field.mail_ends.lead_end;
    const std::size_t end = field.mail_ends.trail_start;
    std::size_t index = NOWHERE;
    for (std::size_t i = field.enclosed ? begin + 1 : begin; i < (field.enclosed ? end - 1 : end);
         ++i) {
        if (is_one_of(reading.mail[i], field.enclosed ? "\"\\" : "\",;:<>()[]@\\")) {
            index = i;
            break;
        }
    }
    const std::size_t typed_quote = first_typed_quote(field.text);
    const auto typed_at = [&reading](std::size_t i) { return mail_typed_at(reading, i); };
    if (typed_quote != NOWHERE && (index == NOWHERE || typed_quote <= typed_at(index))) {
        const bool encloses =
            field.enclosed && (typed_quote == typed_at(begin) || typed_quote == typed_at(end - 1));
        return found('"', typed_quote, ENDS_HREF,
                     field.enclosed && !encloses ? LEAVE_OUT : QUOTE_NAME);
    }
    if (index == NOWHERE) {
        return SILENT;
    }
    if (!field.enclosed) {
        return at_mail(field, index,
                       "Mailprogramme zerlegen den Namen in mehrere Empfaenger, lassen einen Teil "
                       "davon weg oder erkennen den Empfaenger nicht.",
                       QUOTE_NAME);
    }
    Finding finding = at_mail(field, index, "das Mailprogramm liest den Namen falsch.", LEAVE_OUT);
    finding.detail = " innerhalb der umschliessenden Anfuehrungszeichen";
    return finding;
}

Finding check_address_syntax(const Field& field) {
    const FieldReading& reading = field.reading;
    const std::size_t begin = field.mail_ends.lead_end;
    const std::size_t end = field.mail_ends.trail_start;
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
        if (url_parser_deletes(reading.page[i]) && !field.page_ends.at(i)) {
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
        if (subject && line_break) {
            return at_mail(field, i,
                           "Mailprogramme zeigen es als Steuerzeichen an oder lassen es weg.",
                           LEAVE_OUT);
        }
        // Inside an enclosed name a tab is kept as it is.
        const bool inside_quotes =
            field.enclosed && i > field.mail_ends.lead_end && i + 1 < field.mail_ends.trail_start;
        if (!subject && (line_break || (c == '\t' && !inside_quotes)) && !field.mail_ends.at(i)) {
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

Finding check(int number, const Field& field) {
    const bool name = field.which == LinkField::recipient_name;
    const bool subject = field.which == LinkField::subject;
    switch (number) {
    case FAULT_QUOTE_ENDS_HREF:
        return check_typed_quote(field);
    case FAULT_HASH_CUTS_LINK:
        return first_handed_on(field, '#',
                               "dort schneidet der Browser den Verweis ab, auch die Nachricht "
                               "geht verloren.",
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
    default:
        return SILENT;
    }
}

bool is_field_check(int number) {
    return number != FAULT_MESSAGE_NUL && number != FAULT_MESSAGE_NOT_UTF8;
}

// The typed unit that the cut split: a "%xx", a character reference, or a
// UTF-8 character written as escapes, [begin, end) in the argument.
struct Split {
    std::size_t begin;
    std::size_t end;
};

constexpr Split UNSPLIT{NOWHERE, NOWHERE};

// The end of "%xx" at typed[position] (a '%'), with the byte in value; 0 if
// no escape starts there.
std::size_t escape_end(const char* typed, std::size_t position, unsigned& value) {
    const PageCharacter high = read_page_character(typed, position + 1);
    if (!is_hex_digit(high.first) || typed[high.next] == '\0') {
        return 0;
    }
    const PageCharacter low = read_page_character(typed, high.next);
    if (!is_hex_digit(low.first)) {
        return 0;
    }
    value = (hex_value(high.first) * 16) + hex_value(low.first);
    return low.next;
}

// Where the escapes of one UTF-8 character end, given the escape of its
// lead byte, which ends at end.
std::size_t escaped_character_end(const char* typed, std::size_t end, unsigned lead) {
    for (unsigned continuations = utf8_continuations(lead); continuations > 0 && typed[end] == '%';
         --continuations) {
        unsigned value = 0;
        const std::size_t next = escape_end(typed, end, value);
        if (next == 0 || (value & 0xC0U) != 0x80U) {
            break;
        }
        end = next;
    }
    return end;
}

Split split_by_cut(const char* text, const char* typed) {
    const std::size_t kept = std::strlen(text);
    if (typed[kept] == '\0') {
        return UNSPLIT; // not cut
    }
    for (std::size_t position = 0; position < kept;) {
        const PageCharacter read = read_page_character(typed, position);
        std::size_t end = read.referenced ? read.next : position;
        if (typed[position] == '%') {
            unsigned value = 0;
            const std::size_t escape = escape_end(typed, position, value);
            end = escape == 0 ? end : escaped_character_end(typed, escape, value);
        }
        if (end > kept) {
            return {position, end};
        }
        position = read.next;
    }
    return UNSPLIT;
}

Field field_for(LinkField which, const char* text, const char* typed) {
    Field field{};
    field.which = which;
    field.text = text;
    field.typed = typed;
    prepare(field);
    return field;
}

// Whether the argument itself, read up to the end of the split unit, has
// the same fault within that unit: then the cut did not cause it.
bool argument_has_it_too(int number, LinkField which, const char* typed, Split split) {
    if (split.end > READING_LIMIT) {
        return false;
    }
    char longer[READING_LIMIT + 1];
    std::memcpy(longer, typed, split.end);
    longer[split.end] = '\0';
    const Field field = field_for(which, longer, typed);
    const Finding finding = check(number, field);
    return finding.fires && finding.typed_at >= split.begin;
}

void write_character(std::FILE* out, const Finding& finding) {
    std::fputs(" \"", out);
    if (finding.character == NO_BREAK_SPACE && !finding.is_byte) {
        std::fputs("&nbsp;", out);
    } else if (finding.is_byte || finding.character < 0x20 || finding.character >= 0x7F) {
        // Never a control byte or a byte from 0x80 up on the console.
        std::fprintf(out, "%%%02x", static_cast<unsigned>(finding.character) & 0xFFU);
    } else {
        std::fputc(static_cast<int>(finding.character), out);
    }
    std::fputc('"', out);
}

void write_note(std::FILE* out, LinkField which, const Finding& finding, char split_character) {
    std::fputs(" Hinweis: ", out);
    std::fputs(link_field_label(which), out);
    std::fputc(' ', out);
    std::fputs(finding.statement, out);
    if (finding.named) {
        write_character(out, finding);
    }
    std::fputs(finding.detail, out);
    if (split_character != '\0') {
        std::fputs(", weil das Kuerzen auf 99 Bytes ein \"", out);
        std::fputc(split_character, out);
        std::fputs("\" von seinem Ende getrennt hat", out);
    }
    std::fputs(": ", out);
    std::fputs(finding.effect, out);
    std::fputc(' ', out);
    std::fputs(split_character != '\0'
                   ? "Kuerzen Sie die Angabe selbst, so dass sie in 99 Bytes passt."
                   : finding.advice,
               out);
    std::fputc('\n', out);
}

} // namespace

const char* link_field_label(LinkField field) {
    switch (field) {
    case LinkField::recipient_name:
        return "Empfaengername";
    case LinkField::recipient_address:
        return "Empfaengeradresse";
    default:
        return "Betreffzeile";
    }
}

unsigned link_field_faults(LinkField which, const char* text, const char* typed) {
    const Field field = field_for(which, text, typed);
    unsigned faults = 0;
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= FAULT_NAME_TAG; ++number) {
        if (is_field_check(number) && check(number, field).fires) {
            faults |= 1U << static_cast<unsigned>(number);
        }
    }
    return faults;
}

void write_link_field_notes(std::FILE* out, LinkField which, const char* text, const char* typed) {
    const Field field = field_for(which, text, typed);
    const Split split = split_by_cut(text, typed);
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= FAULT_NAME_TAG; ++number) {
        if (!is_field_check(number)) {
            continue;
        }
        const Finding finding = check(number, field);
        if (!finding.fires) {
            continue;
        }
        const bool left_by_cut = split.begin != NOWHERE && finding.named &&
                                 !finding.in_whole_argument && finding.typed_at >= split.begin &&
                                 !argument_has_it_too(number, which, typed, split);
        write_note(out, which, finding, left_by_cut ? typed[split.begin] : '\0');
    }
}

MessageCheck note_message_trouble(MessageCheck check, std::uint8_t previous, unsigned char byte) {
    if (byte == 0 && check.first_nul == 0) {
        check.first_nul = check.bytes_read;
    }
    const Utf8Trouble trouble = utf8_trouble(previous, byte);
    if (trouble.broken && check.first_not_utf8 == 0) {
        check.first_not_utf8 = check.bytes_read - trouble.bytes_back;
    }
    check.utf8_state = trouble.resume;
    return check;
}

unsigned long long message_not_utf8_at(const MessageCheck& check) {
    if (check.first_not_utf8 != 0 || check.utf8_state == UTF8_ACCEPT) {
        return check.first_not_utf8;
    }
    return check.bytes_read - utf8_bytes_taken(check.utf8_state) + 1;
}

unsigned message_faults(const MessageCheck& check) {
    unsigned faults = 0;
    if (check.first_nul != 0) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_NUL);
    }
    if (message_not_utf8_at(check) != 0) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_NOT_UTF8);
    }
    return faults;
}

void write_message_notes(std::FILE* out, const MessageCheck& check) {
    if (check.first_nul != 0) {
        std::fprintf(
            out,
            " Hinweis: Nachricht enthaelt an Byte %llu ein Nullbyte (\"%%00\"): Mutt weist "
            "den Verweis ab, Alpine beendet die Nachricht dort. Lassen Sie das Nullbyte "
            "weg.\n",
            check.first_nul);
    }
    const unsigned long long not_utf8_at = message_not_utf8_at(check);
    if (not_utf8_at != 0) {
        std::fprintf(out,
                     " Hinweis: Nachricht ist ab Byte %llu kein gueltiges UTF-8: Mailprogramme "
                     "zeigen dafuer Fragezeichen oder Ersatzzeichen. Speichern Sie die Nachricht "
                     "als UTF-8.\n",
                     not_utf8_at);
    }
}
