#include "check/field_notes.h"

#include <cstddef>
#include <cstring>

#include "check/code_page_misreading.h"
#include "check/field_reading.h"
#include "check/field_rewrite.h"
#include "check/field_rules.h"
#include "check/utf8.h"

namespace {

constexpr std::size_t NOWHERE = static_cast<std::size_t>(-1);
constexpr char32_t NO_BREAK_SPACE = 0xA0;

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
    value = escaped_byte(high.first, low.first);
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

// Whether the argument itself, read up to the end of the split unit, has
// the same fault within that unit: then the cut did not cause it.
bool argument_has_it_too(int number, LinkField which, const char* typed, Split split) {
    if (split.end > READING_LIMIT) {
        return false;
    }
    char longer[READING_LIMIT + 1];
    std::memcpy(longer, typed, split.end);
    longer[split.end] = '\0';
    const Finding finding = find_field_faults(which, longer, typed).by_rule[number];
    return finding.fires && finding.typed_at >= split.begin;
}

// Bytes as the notes show them: printable ASCII as itself, any other byte
// as "%xx".
void write_shown(std::FILE* out, const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] < 0x20 || bytes[i] >= 0x7F) {
            std::fprintf(out, "%%%02x", static_cast<unsigned>(bytes[i]));
        } else {
            std::fputc(bytes[i], out);
        }
    }
}

void write_character(std::FILE* out, const Finding& finding) {
    std::fputs(" \"", out);
    if (finding.character == NO_BREAK_SPACE && !finding.is_byte) {
        std::fputs("&nbsp;", out);
    } else if (!finding.is_byte && finding.character >= 0x80) {
        unsigned char bytes[4];
        const std::size_t length = encode_utf8(finding.character, bytes);
        write_shown(out, bytes, length);
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

void write_shown_characters(std::FILE* out, const FieldMeaning& meaning) {
    for (std::size_t i = 0; i < meaning.length; ++i) {
        unsigned char bytes[4];
        const std::size_t length = encode_utf8(meaning.characters[i], bytes);
        write_shown(out, bytes, length);
    }
}

// The field as typed, what it most likely meant (as the rewrite writes it,
// where there is one), and how such text comes about.
void write_code_page_note(std::FILE* out, LinkField which, const char* text, const char* rewrite) {
    FieldMeaning meant{};
    const Misreading how = find_misreading(which, text, meant);
    std::fprintf(out, " Hinweis: %s \"", link_field_label(which));
    for (const char* at = text; *at != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        write_shown(out, &byte, 1);
    }
    if (how == Misreading::cp1252_as_cp850) {
        std::fputs("\" ist wohl Text in Codepage 1252 (ANSI), der in Codepage 850 gelesen wurde; "
                   "gemeint war wohl \"",
                   out);
    } else {
        const char* code_page = "1252";
        if (how == Misreading::utf8_as_cp850) {
            code_page = "850";
        } else if (how == Misreading::utf8_as_cp437) {
            code_page = "437";
        }
        std::fprintf(out,
                     "\" ist wohl UTF-8, das in Codepage %s gelesen wurde; gemeint war wohl \"",
                     code_page);
    }
    if (rewrite != nullptr) {
        std::fputs(rewrite, out);
    } else {
        write_shown_characters(out, meant);
    }
    if (how == Misreading::cp1252_as_cp850) {
        std::fputs("\". Das geschieht, wenn eine als ANSI gespeicherte Batchdatei in der "
                   "Eingabeaufforderung laeuft: speichern Sie sie als UTF-8 und setzen Sie "
                   "chcp 65001 an ihren Anfang, oder schreiben Sie den Vorschlag hinein, jedes % "
                   "darin als %%.\n",
                   out);
    } else {
        std::fputs("\". Das geschieht, wenn eine als UTF-8 gespeicherte Batchdatei ohne chcp 65001 "
                   "laeuft (schreiben Sie dort jedes % des Vorschlags als %%), oder wenn der Text "
                   "von einer Seite kopiert wurde, die in falscher Kodierung angezeigt wurde.\n",
                   out);
    }
}

} // namespace

void write_link_field_notes(std::FILE* out, LinkField which, const char* text, const char* typed) {
    const FieldFindings findings = find_field_faults(which, text, typed);
    bool noted = false;
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= LAST_FIELD_RULE; ++number) {
        noted = noted || findings.by_rule[number].fires;
    }
    char rewrite[FIELD_SIZE];
    const bool rewritten = noted && rewrite_field(which, text, typed, findings, rewrite);
    const Split split = split_by_cut(text, typed);
    for (int number = FAULT_QUOTE_ENDS_HREF; number <= LAST_FIELD_RULE; ++number) {
        const Finding& finding = findings.by_rule[number];
        if (!finding.fires) {
            continue;
        }
        if (number == FAULT_WRONG_CODE_PAGE) {
            write_code_page_note(out, which, text, rewritten ? rewrite : nullptr);
            continue;
        }
        const bool left_by_cut = split.begin != NOWHERE && finding.named &&
                                 !finding.in_whole_argument && finding.typed_at >= split.begin &&
                                 !argument_has_it_too(number, which, typed, split);
        write_note(out, which, finding, left_by_cut ? typed[split.begin] : '\0');
    }
    if (rewritten) {
        std::fprintf(out, " Hinweis: Vorschlag fuer %s: \"%s\"\n", link_field_label(which),
                     rewrite);
    }
}
