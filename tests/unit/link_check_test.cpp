#include "link/link_check.h"

#include <gtest/gtest.h>

#include <string>

#include "stream_capture.h"

namespace {

constexpr LinkField NAME = LinkField::recipient_name;
constexpr LinkField ADDRESS = LinkField::recipient_address;
constexpr LinkField SUBJECT = LinkField::subject;

// The checks that fire, as their numbers: "57" for checks 5 and 7.
std::string fired(LinkField field, const std::string& text) {
    std::string numbers;
    const unsigned faults = link_field_faults(field, text.c_str());
    for (unsigned number = 1; number <= 7; ++number) {
        if ((faults & (1U << number)) != 0) {
            numbers += static_cast<char>('0' + number);
        }
    }
    return numbers;
}

TEST(LinkCheck, EachFieldReportsTheChecksThatFire) {
    const struct {
        LinkField field;
        const char* text;
        const char* checks;
    } cases[] = {
        // ordinary fields stay silent
        {NAME, "Jürgen Müller", ""},
        {NAME, "Dr. Max Müller-Lüdenscheidt", ""},
        {NAME, "O'Neill", ""},
        {NAME, "M&uuml;ller", ""},
        {NAME, "%22Mustermann, Max%22", ""},
        {NAME, " &quot;Mustermann, Max&quot; ", ""},
        {NAME, "AT&T Max.M@x [1] > \\ ! +", ""},
        {SUBJECT, "Gr&uuml;&szlig;e", ""},
        {SUBJECT, "50%25 Rabatt, nur heute!", ""},
        {SUBJECT, "Rückfrage zu Auftrag 4711?", ""},
        {SUBJECT, "Projekt &quot;Alpha&quot; &lt;b&gt; &#37;41", ""},
        {ADDRESS, "j.mueller@example.de", ""},
        {ADDRESS, "j.mueller%40example.de", ""},
        {ADDRESS, "j.mueller&#64;example.de", ""},
        // references to nothing, or beyond Unicode, never stand for '#' or NUL
        {SUBJECT, "&#0;&#xD800;&#1114112;&#4294967331;&#18446744073709551651;", ""},
        {SUBJECT, "&#x10000000000000023;&#X23", "25"},
        // the issue's inputs
        {NAME, "Mustermann, Max", "6"},
        {SUBJECT, "Fragen & Antworten", "5"},
        {SUBJECT, "Fragen &amp; Antworten", "5"},
        {SUBJECT, "AT&T; und &Amp;", "5"},
        {SUBJECT, "Rechnung #4711", "2"},
        {SUBJECT, "Rechnung &#35;4711", "2"},
        {SUBJECT, "Rechnung &#x23;4711", "2"},
        {SUBJECT, "Rechnung &#354711", "25"},
        {SUBJECT, "20% Rabatt", "3"},
        {SUBJECT, "Rabatt %2", "3"},
        {SUBJECT, "Rabatt &#37;2g", "3"},
        {SUBJECT, "Projekt \"Alpha\"", "1"},
        {NAME, "Max <Chef> Mustermann", "6"},
        {NAME, "Max (Chef) Mustermann", "6"},
        {NAME, "Max: Mustermann", "6"},
        {NAME, "Max %2C Moritz", "6"},
        {NAME, "Max &quot;M&quot;", "6"},
        {ADDRESS, "max@example.com, moritz@example.com", "7"},
        // a typed quote in the name always, enclosing or not
        {NAME, "\"Mustermann, Max\"", "6"},
        {NAME, "Max \"M\" Mustermann", "6"},
        // enclosed, with a further quote or a backslash inside
        {NAME, "%22Max %22M%22 Muster%22", "6"},
        {NAME, "%22Max\\Muster%22", "6"},
        {NAME, "%22", "6"},
        {NAME, "Max? Muster", "4"},
        {NAME, "Max #1", "2"},
        {NAME, "100% Max", "3"},
        {ADDRESS, "max", "7"},
        {ADDRESS, "a@b@c.de", "7"},
        {ADDRESS, "@example.de", "7"},
        {ADDRESS, "max@", "7"},
        {ADDRESS, "Max <max@example.de>", "7"},
        {ADDRESS, "max%2Cmoritz@example.de", "7"},
        {ADDRESS, "m\"x@example.de", "17"},
        {ADDRESS, "max@example.de?cc=x@y.de", "47"},
        {ADDRESS, "max@example.de#x", "2"},
        {ADDRESS, "max@example.de%", "3"},
        {SUBJECT, "a \"b\" #1 100% & ?", "1235"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fired(c.field, c.text), c.checks) << link_field_label(c.field) << ": " << c.text;
    }
}

std::string notes(LinkField field, const std::string& text, const std::string& typed) {
    return capture_output(
        [&](std::FILE* out) { write_link_field_notes(out, field, text.c_str(), typed.c_str()); });
}

TEST(LinkCheck, NotesNameTheCharacterAndWhatToTypeInstead) {
    EXPECT_EQ(
        notes(SUBJECT, "Fragen & Antworten", "Fragen & Antworten"),
        " Hinweis: Betreffzeile enthaelt \"&\": dort endet der Betreff. Schreiben Sie %26.\n");
    const std::string two = notes(ADDRESS, "m\"x?@", "m\"x?@");
    EXPECT_EQ(two.rfind(" Hinweis: Empfaengeradresse enthaelt \"\"\":", 0), 0U) << two;
    EXPECT_NE(two.find("%22"), std::string::npos);
    EXPECT_NE(two.find("\n Hinweis: Empfaengeradresse enthaelt \"?\":"), std::string::npos);
    EXPECT_NE(two.find("%3f"), std::string::npos);
    EXPECT_NE(two.find("\n Hinweis: Empfaengeradresse enthaelt \"\"\":"), std::string::npos);
    EXPECT_EQ(notes(ADDRESS, "max", "max").find('"'), std::string::npos);
}

// The run keeps the first 99 bytes of a longer subject.
TEST(LinkCheck, ACutThatSplitsAnEscapeSaysSo) {
    const std::string a95(95, 'a');
    const struct {
        std::string typed;
        int cut_notes;
        int other_notes;
    } cases[] = {
        {a95 + "aaa%41", 1, 0},       // "%" left of "%41"
        {a95 + "aa&#35;", 2, 0},      // "&#" left: a '&' and a '#'
        {a95 + "aa&amp;", 1, 0},      // "&a" left
        {a95 + "aa%4", 0, 1},         // not cut: typed so
        {"50% " + a95 + "a", 0, 1},   // cut, but the '%' was typed so
        {"& " + a95 + "&#35;", 1, 1}, // the first '&' typed so, the '#' left by the cut
    };
    for (const auto& c : cases) {
        const std::string written = notes(SUBJECT, c.typed.substr(0, 99), c.typed);
        int cut_notes = 0;
        int other_notes = 0;
        for (std::size_t line = 0; line < written.size(); line = written.find('\n', line) + 1) {
            const std::string note = written.substr(line, written.find('\n', line) - line);
            ++(note.find("Kuerzen auf 99 Bytes") != std::string::npos ? cut_notes : other_notes);
        }
        EXPECT_EQ(cut_notes, c.cut_notes) << written;
        EXPECT_EQ(other_notes, c.other_notes) << written;
    }
}

} // namespace
