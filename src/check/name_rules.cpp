#include "check/name_rules.h"

#include "check/html_entities.h"

namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

constexpr char QUOTE_NAME[] =
    "Setzen Sie den ganzen Namen zwischen &quot; und &quot; und schreiben Sie darin < als &lt; "
    "und > als &gt;, z. B. \"&quot;Max &lt;Chef&gt; Mustermann&quot;\".";

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

// Thunderbird splits a name at a ',' that follows an '@', between quotes
// too: the first such ',' in M[begin, end), or NOWHERE.
std::size_t comma_after_at(const FieldReading& reading, std::size_t begin, std::size_t end) {
    bool at_seen = false;
    for (std::size_t i = begin; i < end; ++i) {
        if (reading.mail[i] == ',' && at_seen) {
            return i;
        }
        at_seen = at_seen || reading.mail[i] == '@';
    }
    return NOWHERE;
}

constexpr char LEAVE_OUT_AT_OR_COMMA[] = "Lassen Sie das @ oder das Komma weg: dort trennt "
                                         "Thunderbird den Namen, auch zwischen Anfuehrungszeichen.";

} // namespace

// The name as a mail program reads "NAME <ADDRESS>": a quoted string, or
// plain words that none of these characters may split. A '"' typed as such
// also ends the href, quoted string or not.
Finding check_name_syntax(const Field& field) {
    const FieldReading& reading = field.reading;
    const bool enclosed = field.ends.enclosed;
    const std::size_t begin = field.ends.mail.lead_end;
    const std::size_t end = field.ends.mail.trail_start;
    std::size_t index = NOWHERE;
    const std::size_t inner_begin = enclosed ? begin + 1 : begin;
    const std::size_t inner_end = enclosed ? end - 1 : end;
    const std::size_t split_comma = comma_after_at(reading, inner_begin, inner_end);
    for (std::size_t i = inner_begin; i < inner_end; ++i) {
        if (is_one_of(reading.mail[i], enclosed ? "\"\\;" : "\",;:<>()[]@\\") || i == split_comma) {
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
    const char* advice = split_comma != NOWHERE && character != '"' && character != '\\'
                             ? LEAVE_OUT_AT_OR_COMMA
                             : advice_for_name_character(character);
    if (!enclosed) {
        return at_mail(field, index,
                       "Mailprogramme zerlegen den Namen in mehrere Empfaenger, lassen einen Teil "
                       "davon weg oder erkennen den Empfaenger nicht.",
                       advice);
    }
    const char* effect = "das Mailprogramm liest den Namen falsch.";
    if (index == split_comma) {
        effect = "Thunderbird macht daraus zwei Empfaenger.";
    } else if (character == ';') {
        effect = "Thunderbird macht daraus ein Komma.";
    }
    Finding finding = at_mail(field, index, effect, advice);
    finding.detail = " innerhalb der umschliessenden Anfuehrungszeichen";
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

Finding check_name_read_as_html(const Field& field) {
    const FieldReading& reading = field.reading;
    for (std::size_t i = 0; i < reading.mail_length; ++i) {
        if (reading.mail[i] != '&') {
            continue;
        }
        // What follows, long enough for the longest name.
        char after[40] = {};
        for (std::size_t k = 0; k + 1 < sizeof after && i + 1 + k < reading.mail_length; ++k) {
            after[k] = static_cast<char>(reading.mail[i + 1 + k]);
        }
        const bool numeric = after[0] == '#' && after[1] >= '0' && after[1] <= '9';
        const bool hex = after[0] == '#' && (after[1] == 'x' || after[1] == 'X') &&
                         is_hex_digit(static_cast<unsigned char>(after[2]));
        if (numeric || hex || longest_named_reference(after).length > 0) {
            return at_mail(field, i,
                           "Roundcube liest den Namen noch einmal als HTML und zeigt dort ein "
                           "anderes Zeichen.",
                           "Lassen Sie es weg oder schreiben Sie \"und\".");
        }
    }
    return SILENT;
}

Finding check_dotted_name(const Field& field) {
    const FieldReading& reading = field.reading;
    if (field.ends.enclosed) {
        return SILENT;
    }
    const std::size_t begin = field.ends.mail.lead_end;
    const std::size_t end = field.ends.mail.trail_start;
    for (std::size_t i = begin; i < end; ++i) {
        const char32_t before = i == begin ? 0 : reading.mail[i - 1];
        const char32_t after = i + 1 == end ? 0 : reading.mail[i + 1];
        if (reading.mail[i] == '.' && kmail_moves_dot(before, after)) {
            return at_mail(field, i,
                           "KMail setzt die Leerzeichen um ihn anders (aus \"Dr.Max\" wird "
                           "\"Dr. Max\"), Thunderbird die davor; steht er am Anfang, verliert "
                           "KMail den Empfaenger.",
                           "Setzen Sie den ganzen Namen zwischen &quot; und &quot;.");
        }
    }
    return SILENT;
}
