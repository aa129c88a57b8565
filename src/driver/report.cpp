#include "driver/report.h"

#include "common/common.h"

namespace {

// The line with a line feed appended, as puts() does, but to any stream.
void write_line(std::FILE* out, const char* text) {
    std::fputs(text, out);
    std::fputc('\n', out);
}

void write_banner(std::FILE* out) {
    write_line(out, "\n"
                    " ************************\n"
                    " ***   Kuvertpfeil    ***\n"
                    " *** Mailto-Werkstatt ***\n"
                    " ************************\n");
}

void write_help_text(std::FILE* out, const char* program_path) {
    write_banner(out);
    std::fprintf(out, " Version %s, %s\n\n", PROGRAM_VERSION, RELEASE_DATE);
    std::fprintf(out, " Erzeugt HTML-Kuvertpfeile, die ein mit Empfaengername und -adresse, "
                      "Betreffzeile und Nachrichtentext ausgefuelltes Nachrichtenfenster "
                      "oeffnen.\n"
                      " Problematische Zeichen wie Leerzeichen, Zeilenumbrueche, Umlaute und "
                      "HTML-Metazeichen werden dabei mit %%-Kodierung maskiert.\n"
                      " Der Nachrichtentext wird vorher in einer Textdatei abgelegt oder kann "
                      "wahlweise von der Standardeingabe gelesen werden.\n"
                      " Die uebrigen Angaben werden ueber die Kommandozeile uebergeben.\n\n");
    std::fprintf(out,
                 " Syntax: %s <Empfaengername> <Empfaengeradresse> <Betreffzeile> "
                 "( <Quelldatei mit Nachrichteninhalt> | - ) (<Zieldatei> | - ) [Optionen]\n\n",
                 program_path);
    write_line(out, " Argumente mit Leerzeichen muessen in Anfuehrungszeichen eingeschlossen "
                    "werden.");
    std::fprintf(out,
                 " Statt einer Datei mit dem Inhalt der Nachricht (Quelldatei) bzw. einer "
                 "Zieldatei kann auch - fuer Standardeingabe bzw. Standardausgabe angegeben "
                 "werden.\n"
                 " Dann liest das Programm von der Standardeingabe und kann somit auch mit | "
                 "eingesetzt werden:\n"
                 " Beispiel:\n"
                 " echo \"Nachrichtentext\" | %s \"Max Mustermann\" max.mustermann@example.com "
                 "\"Betreffzeile\" - -\n\n",
                 program_path);
    write_line(out, " Optionen (durch Leerzeichen getrennt):\n"
                    "  -h\tHTML-Grundgeruest erzeugen\n"
                    "  ");
}

void write_error_messages(std::FILE* out, int flags, char** argv) {
    if ((flags & ERR_TOO_FEW_ARGUMENTS) != 0) {
        std::fputs(" Fehler 1:", out);
        write_line(out, " Bitte mindestens 5 Argumente angeben.\n");
    }
    if ((flags & ERR_SOURCE_NOT_FOUND) != 0) {
        std::fputs(" Fehler 2:", out);
        std::fprintf(out, " Quelldatei %s existiert nicht.\n\n", argv[4]);
    }
    if ((flags & ERR_TARGET_NOT_OPENED) != 0) {
        std::fputs(" Fehler 3:", out);
        std::fprintf(out, " Zieldatei %s konnte nicht geoeffnet werden.\n\n", argv[5]);
    }
    if ((flags & ERR_SAME_FILE) != 0) {
        std::fputs(" Fehler 4:", out);
        std::fprintf(out, " Quelldatei %s und Zieldatei sind identisch.\n\n", argv[4]);
    }
    if ((flags & ERR_TARGET_NOT_WRITTEN) != 0) {
        std::fputs(" Fehler 5:", out);
        std::fprintf(out, " Zieldatei %s konnte nicht vollstaendig geschrieben werden.\n\n",
                     argv[5]);
    }
    if ((flags & ERR_SOURCE_NOT_READ) != 0) {
        std::fputs(" Fehler 6:", out);
        std::fprintf(out, " Quelldatei %s konnte nicht vollstaendig gelesen werden.\n\n", argv[4]);
    }
    if ((flags & ERR_TARGET_KEPT) != 0) {
        std::fputs(" Fehler 7:", out);
        std::fprintf(out,
                     " Zieldatei %s wurde nicht ueberschrieben, weil die Argumente verschoben "
                     "oder vertauscht aussehen.\n\n",
                     argv[5]);
    }
}

} // namespace

int write_report(std::FILE* out, int flags, char** argv) {
    write_help_text(out, argv[0]);
    write_error_messages(out, flags, argv);
    return flags;
}

int print_report(int flags, char** argv) { return write_report(stdout, flags, argv); }

void write_long_link_note(std::FILE* out, unsigned long long length) {
    std::fprintf(out,
                 " Hinweis: Der Verweis ist %llu Zeichen lang; manche Mailprogramme oeffnen "
                 "Verweise ueber %llu Zeichen nicht oder nur gekuerzt.\n",
                 length, LONG_LINK_LENGTH);
}
