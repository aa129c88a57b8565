#include "driver/report.h"

#include <gtest/gtest.h>

#include <string>

#include "common/common.h"
#include "stream_capture.h"

namespace {

std::string help_text(const std::string& program) {
    return "\n"
           " ************************\n"
           " ***   Kuvertpfeil    ***\n"
           " *** Mailto-Werkstatt ***\n"
           " ************************\n"
           "\n"
           " Version 2.3, 21.11.2019\n"
           "\n"
           " Erzeugt HTML-Kuvertpfeile, die ein mit Empfaengername und -adresse, Betreffzeile "
           "und Nachrichtentext ausgefuelltes Nachrichtenfenster oeffnen.\n"
           " Problematische Zeichen wie Leerzeichen, Zeilenumbrueche, Umlaute und "
           "HTML-Metazeichen werden dabei mit %-Kodierung maskiert.\n"
           " Der Nachrichtentext wird vorher in einer Textdatei abgelegt oder kann wahlweise "
           "von der Standardeingabe gelesen werden.\n"
           " Die uebrigen Angaben werden ueber die Kommandozeile uebergeben.\n"
           "\n"
           " Syntax: " +
           program +
           " <Empfaengername> <Empfaengeradresse> <Betreffzeile> ( <Quelldatei mit "
           "Nachrichteninhalt> | - ) (<Zieldatei> | - ) [Optionen]\n"
           "\n"
           " Argumente mit Leerzeichen muessen in Anfuehrungszeichen eingeschlossen werden.\n"
           " Statt einer Datei mit dem Inhalt der Nachricht (Quelldatei) bzw. einer Zieldatei "
           "kann auch - fuer Standardeingabe bzw. Standardausgabe angegeben werden.\n"
           " Dann liest das Programm von der Standardeingabe und kann somit auch mit | "
           "eingesetzt werden:\n"
           " Beispiel:\n"
           " echo \"Nachrichtentext\" | " +
           program +
           " \"Max Mustermann\" max.mustermann@example.com \"Betreffzeile\" - -\n"
           "\n"
           " Optionen (durch Leerzeichen getrennt):\n"
           "  -h\tHTML-Grundgeruest erzeugen\n"
           "  \n";
}

TEST(Report, HelpTextAndOneMessagePerErrorBit) {
    char program[] = "./bin/kuvertpfeil.exe";
    char name[] = "N", address[] = "A", subject[] = "S";
    char source[] = "nix%s.txt", target[] = "/kein/ordner/z.html";
    char* argv[] = {program, name, address, subject, source, target, nullptr};
    const struct {
        int flags;
        std::string message;
    } cases[] = {
        {ERR_NO_ARGUMENTS, ""},
        {ERR_TOO_FEW_ARGUMENTS, " Fehler 1: Bitte mindestens 5 Argumente angeben.\n\n"},
        {ERR_SOURCE_NOT_FOUND, " Fehler 2: Quelldatei nix%s.txt existiert nicht.\n\n"},
        {ERR_TARGET_NOT_OPENED,
         " Fehler 3: Zieldatei /kein/ordner/z.html konnte nicht geoeffnet werden.\n\n"},
        {ERR_SAME_FILE, " Fehler 4: Quelldatei nix%s.txt und Zieldatei sind identisch.\n\n"},
        {ERR_TARGET_NOT_WRITTEN, " Fehler 5: Zieldatei /kein/ordner/z.html konnte nicht "
                                 "vollstaendig geschrieben werden.\n\n"},
        {ERR_SOURCE_NOT_READ,
         " Fehler 6: Quelldatei nix%s.txt konnte nicht vollstaendig gelesen werden.\n\n"},
        {ERR_TARGET_KEPT, " Fehler 7: Zieldatei /kein/ordner/z.html wurde nicht ueberschrieben, "
                          "weil die Argumente verschoben oder vertauscht aussehen.\n\n"},
    };
    for (const auto& c : cases) {
        int returned = 0;
        const std::string written =
            capture_output([&](std::FILE* out) { returned = write_report(out, c.flags, argv); });
        EXPECT_EQ(written, help_text(program) + c.message) << "flags " << c.flags;
        EXPECT_EQ(returned, c.flags);
    }
}

TEST(Report, SeveralBitsPrintTheirMessagesInBitOrder) {
    char program[] = "k";
    char* argv[] = {program, program, program, program, program, program, nullptr};
    const std::string written = capture_output([&](std::FILE* out) {
        write_report(out, ERR_SAME_FILE | ERR_TOO_FEW_ARGUMENTS | ERR_SOURCE_NOT_READ, argv);
    });
    const auto first = written.find(" Fehler 1:");
    const auto fourth = written.find(" Fehler 4:");
    const auto sixth = written.find(" Fehler 6:");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, fourth);
    EXPECT_LT(fourth, sixth);
    EXPECT_EQ(written.find(" Fehler 2:"), std::string::npos);
}

} // namespace
