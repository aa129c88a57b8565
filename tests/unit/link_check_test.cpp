#include "check/field_notes.h"
#include "check/field_rules.h"
#include "check/message_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "../common/rewrite_soundness.h"
#include "stream_capture.h"

namespace {

constexpr LinkField NAME = LinkField::recipient_name;
constexpr LinkField ADDRESS = LinkField::recipient_address;
constexpr LinkField SUBJECT = LinkField::subject;

// The checks that fire, as their numbers: "1,7" for checks 1 and 7.
std::string fired(LinkField field, const std::string& text) {
    std::string numbers;
    const unsigned faults = link_field_faults(field, text.c_str(), text.c_str());
    for (unsigned number = 1; number <= LAST_FIELD_RULE; ++number) {
        if ((faults & (1U << number)) != 0) {
            numbers.append(numbers.empty() ? "" : ",").append(std::to_string(number));
        }
    }
    return numbers.empty() ? "-" : numbers;
}

// The table's escapes: \t \n \r \\ and \xHH.
std::string unescape(const std::string& typed) {
    std::string text;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] != '\\') {
            text += typed[i];
            continue;
        }
        const char kind = typed[++i];
        if (kind == 'x') {
            text += static_cast<char>(std::stoi(typed.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            text += kind == 't' ? '\t' : kind == 'n' ? '\n' : kind == 'r' ? '\r' : kind;
        }
    }
    return text;
}

std::string notes(LinkField field, const std::string& text, const std::string& typed) {
    return capture_output(
        [&](std::FILE* out) { write_link_field_notes(out, field, text.c_str(), typed.c_str()); });
}

// The rewrite that the notes suggest, or "-".
std::string suggested(LinkField field, const std::string& text) {
    const std::string written = notes(field, text, text);
    const std::size_t line = written.find(" Hinweis: Vorschlag fuer ");
    if (line == std::string::npos) {
        return "-";
    }
    const std::size_t open = written.find(": \"", line) + 3;
    return written.substr(open, written.find("\"\n", open) - open);
}

// Each row: field, typed, rules, breaks, and where it matters the rewrite
// ("-" for none); a "#" comment may follow.
TEST(LinkCheck, EachFieldOfTheTableGetsItsChecksAndASoundRewrite) {
    std::ifstream table(LINK_FIELDS_FILE);
    ASSERT_TRUE(table) << LINK_FIELDS_FILE;
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream columns(line);
        std::string field;
        std::string typed;
        std::string rules;
        std::string breaks;
        std::string rewrite;
        std::getline(columns, field, '\t');
        std::getline(columns, typed, '\t');
        std::getline(columns, rules, '\t');
        std::getline(columns, breaks, '\t');
        std::getline(columns, rewrite, '\t');
        const LinkField which = field == "name" ? NAME : field == "address" ? ADDRESS : SUBJECT;
        const std::string text = unescape(typed);
        EXPECT_EQ(fired(which, text), rules) << field << ": " << typed;
        const std::string suggestion = suggested(which, text);
        if (!rewrite.empty() && rewrite[0] != '#') {
            EXPECT_EQ(suggestion, rewrite) << field << ": " << typed;
        }
        if (suggestion != "-") {
            const char* fault = rewrite_fault(which, text.c_str(), suggestion.c_str());
            EXPECT_EQ(fault, nullptr)
                << field << ": " << typed << " -> " << suggestion << ": " << fault;
        }
        ++rows;
    }
    EXPECT_GT(rows, 90);
}

TEST(LinkCheck, NotesNameTheCharacterAndWhatToTypeInstead) {
    EXPECT_EQ(notes(SUBJECT, "Fragen & Antworten", "Fragen & Antworten"),
              " Hinweis: Betreffzeile enthaelt \"&\": dort endet der Betreff. Schreiben Sie %26.\n"
              " Hinweis: Vorschlag fuer Betreffzeile: \"Fragen %26 Antworten\"\n");
    // Text through the wrong code page: as typed, as meant, and the causes.
    EXPECT_EQ(notes(NAME, "B\u251c\u00f1ckerei", "B\u251c\u00f1ckerei"),
              " Hinweis: Empfaengername \"B%e2%94%9c%c3%b1ckerei\" ist wohl UTF-8, das in Codepage "
              "850 gelesen wurde; gemeint war wohl \"B&auml;ckerei\". Das geschieht, wenn eine als "
              "UTF-8 gespeicherte Batchdatei ohne chcp 65001 laeuft (schreiben Sie dort jedes % "
              "des Vorschlags als %%), oder wenn der Text von einer Seite kopiert wurde, die in "
              "falscher Kodierung angezeigt wurde.\n"
              " Hinweis: Vorschlag fuer Empfaengername: \"B&auml;ckerei\"\n");
    EXPECT_EQ(notes(SUBJECT, "M\u00b3ller", "M\u00b3ller"),
              " Hinweis: Betreffzeile \"M%c2%b3ller\" ist wohl Text in Codepage 1252 (ANSI), der "
              "in Codepage 850 gelesen wurde; gemeint war wohl \"M%c3%bcller\". Das geschieht, "
              "wenn eine als ANSI gespeicherte Batchdatei in der Eingabeaufforderung laeuft: "
              "speichern Sie sie als UTF-8 und setzen Sie chcp 65001 an ihren Anfang, oder "
              "schreiben Sie den Vorschlag hinein, jedes % darin als %%.\n"
              " Hinweis: Vorschlag fuer Betreffzeile: \"M%c3%bcller\"\n");
    // Advice keeps the button readable: references, not escapes.
    EXPECT_NE(notes(NAME, "Mustermann, Max", "Mustermann, Max").find("\"&quot;Max &lt;Chef&gt;"),
              std::string::npos);
    // Never a control byte or a byte from 0x80 up on the console.
    const struct {
        LinkField field;
        const char* text;
        const char* named;
    } cases[] = {
        {NAME, "Max\tMuster", "\"%09\""},
        {NAME, "Max\rMuster", "\"%0d\""},
        {SUBJECT, "a&#x7f;b", "\"%7f\""},
        {SUBJECT, "a%7fb", "\"%7f\""},
        {SUBJECT, "a%c2%85b", "\"%c2%85\""},
        {SUBJECT,
         "Gr\xfc\xdf"
         "e",
         "\"%fc\""},
        {SUBJECT, "Gr%C3", "\"%c3\""},
        {ADDRESS, "max@example.com&nbsp;", "\"&nbsp;\""},
    };
    for (const auto& c : cases) {
        const std::string written = notes(c.field, c.text, c.text);
        EXPECT_NE(written.find(c.named), std::string::npos) << written;
        for (const char byte : written) {
            EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << written;
        }
    }
}

// The run keeps the first 99 bytes of a longer subject.
TEST(LinkCheck, ACutThatCausesAFaultSaysSo) {
    const std::string a95(95, 'a');
    const struct {
        std::string typed;
        int cut_notes;
        int other_notes;
    } cases[] = {
        {a95 + "aaa%41", 1, 0},                  // "%" left of "%41"
        {a95 + "aa&#35;", 1, 1},                 // "&#" left: its '&' by the cut, its '#' typed so
        {a95 + "aa&quot;", 1, 0},                // "&q" left
        {a95 + "a%C3%BC", 1, 0},                 // half an umlaut written as escapes
        {a95 + "a&#1234;", 1, 0},                // "&#12" stands for another character
        {a95 + "aa%4", 0, 1},                    // not cut: typed so
        {"50% " + a95 + "a", 0, 1},              // cut, but the '%' was typed so
        {"x& " + a95.substr(1) + "&#35;", 0, 2}, // both typed so
    };
    for (const auto& c : cases) {
        const std::string written = notes(SUBJECT, c.typed.substr(0, 99), c.typed);
        int cut_notes = 0;
        int other_notes = 0;
        for (std::size_t line = 0; line < written.size(); line = written.find('\n', line) + 1) {
            const std::string note = written.substr(line, written.find('\n', line) - line);
            ++(note.find("Kuerzen auf 99 Bytes") != std::string::npos ? cut_notes : other_notes);
        }
        EXPECT_EQ(written.find("Vorschlag"), std::string::npos) << written; // cut, or too long
        EXPECT_EQ(cut_notes, c.cut_notes) << written;
        EXPECT_EQ(other_notes, c.other_notes) << written;
    }
}

TEST(LinkCheck, MessageChecksFindTheFirstByteAtFault) {
    const struct {
        std::string message;
        unsigned long long nul;
        unsigned long long not_utf8; // 0: valid
    } cases[] = {
        {"Gr\xc3\xbc\xc3\x9f"
         "e\n",
         0, 0},
        {std::string("ab\0c\0", 5), 3, 0},
        {"Gr\xfc\xdf"
         "e",
         0, 3},
        {"ok \xc3", 0, 4},                     // cut off by the end
        {"\xc0\xaf \xed\xa0\x80", 0, 1},       // overlong
        {"a \xed\xa0\x80", 0, 3},              // a surrogate
        {"\xf4\x90\x80\x80", 0, 1},            // beyond U+10FFFF
        {"\xf0\x9f\x93\xa7\x80", 0, 5},        // a stray continuation
        {std::string("a\xc3\0\xbc", 4), 3, 2}, // a NUL inside a character
    };
    for (const auto& c : cases) {
        MessageCheck check{};
        for (const char byte : c.message) {
            check_message_byte(check, static_cast<unsigned char>(byte));
        }
        EXPECT_EQ(check.first_nul, c.nul) << c.message;
        EXPECT_EQ(message_not_utf8_at(check), c.not_utf8) << c.message;
        EXPECT_EQ(message_faults(check),
                  (c.nul != 0 ? 1U << 11U : 0U) | (c.not_utf8 != 0 ? 1U << 12U : 0U));
    }
}

} // namespace
