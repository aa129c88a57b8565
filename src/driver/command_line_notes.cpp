#include "driver/command_line_notes.h"

#include <cstring>

#include "check/field_reading.h"

namespace {

// An argument on the console as the link check's notes show characters:
// printable ASCII as itself, any other byte as "%xx".
void write_argument(std::FILE* out, const char* argument) {
    for (; *argument != '\0'; ++argument) {
        const auto byte = static_cast<unsigned char>(*argument);
        if (byte < 0x20 || byte >= 0x7F) {
            std::fprintf(out, "%%%02x", static_cast<unsigned>(byte));
        } else {
            std::fputc(byte, out);
        }
    }
}

bool is_page_option(const char* argument) { return std::strcmp(argument, "-h") == 0; }

} // namespace

void write_target_option_note(std::FILE* out, int argc, char** argv) {
    if (argc <= 5 || !is_page_option(argv[5])) {
        return;
    }
    std::fputs(" Hinweis: Die Seite steht in einer Datei namens \"-h\": das fuenfte Argument ist "
               "immer die Zieldatei. Die Option -h gehoert hinter die fuenf Argumente",
               out);
    for (int i = 6; i < argc; ++i) {
        if (!is_page_option(argv[i])) {
            std::fputs("; war \"", out);
            write_argument(out, argv[i]);
            std::fputs("\" als Zieldatei gemeint, schreiben Sie \"", out);
            write_argument(out, argv[i]);
            std::fputs(" -h\"", out);
            break;
        }
    }
    std::fputs(".\n", out);
}

void write_long_file_name_note(std::FILE* out, const char* role) {
    std::fprintf(out,
                 " Hinweis: Der Name der %s ist laenger als 99 Bytes; so lange Namen oeffnet das "
                 "Programm nicht. Geben Sie einen kuerzeren Pfad an.\n",
                 role);
}

void write_empty_name_note(std::FILE* out, const char* recipient_name) {
    if (page_reads_blank(recipient_name)) {
        std::fputs(" Hinweis: Empfaengername ist leer: der Verweis (mit -h die Schaltflaeche) "
                   "zeigt nur \"Nachricht an\". Geben Sie einen Namen an.\n",
                   out);
    }
}
