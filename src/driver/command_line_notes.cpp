#include "driver/command_line_notes.h"

#include <cstring>

#include "check/field_reading.h"
#include "common/common.h"

namespace {

bool is_page_option(const char* argument) { return std::strcmp(argument, "-h") == 0; }

// The first argument after the fifth that is not "-h", where the fifth is:
// the target most likely meant. 0 if there is none.
int meant_target(int argc, char** argv) {
    if (argc <= 5 || !is_page_option(argv[5])) {
        return 0;
    }
    for (int i = 6; i < argc; ++i) {
        if (!is_page_option(argv[i])) {
            return i;
        }
    }
    return 0;
}

// Whether a POSIX shell and a batch file both take the argument as it
// stands: no blank, nothing they would expand, split or redirect at.
bool pastes_as_it_stands(const char* argument) {
    for (; *argument != '\0'; ++argument) {
        const auto byte = static_cast<unsigned char>(*argument);
        const bool letter_or_digit = (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
                                     (byte >= 'A' && byte <= 'Z');
        if (!letter_or_digit && std::strchr("-_./:@+", byte) == nullptr) {
            return false;
        }
    }
    return true;
}

void write_target_option_note(std::FILE* out, const char* meant) {
    std::fputs(" Hinweis: Die Seite steht in einer Datei namens \"-h\": das fuenfte Argument ist "
               "immer die Zieldatei. Die Option -h gehoert hinter die fuenf Argumente",
               out);
    if (meant == nullptr) {
        std::fputs(".\n", out);
        return;
    }
    std::fputs("; war \"", out);
    write_argument(out, meant);
    if (pastes_as_it_stands(meant)) {
        // The end of the line is the end of the advice, so it can be copied
        // as it stands.
        std::fputs("\" als Zieldatei gemeint, schreiben Sie: ", out);
        write_argument(out, meant);
        std::fputs(" -h\n", out);
    } else {
        std::fputs("\" als Zieldatei gemeint, schreiben Sie es als fuenftes Argument und -h "
                   "dahinter.\n",
                   out);
    }
}

// A dash as a word processor writes it, U+2010 to U+2015 or the minus sign
// U+2212, in UTF-8; returns its length, or 0.
std::size_t typographic_dash_length(const char* text) {
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const bool general_punctuation =
        byte(0) == 0xE2 && byte(1) == 0x80 && byte(2) >= 0x90 && byte(2) <= 0x95;
    const bool minus = byte(0) == 0xE2 && byte(1) == 0x88 && byte(2) == 0x92;
    return general_punctuation || minus ? 3 : 0;
}

bool equals_ignoring_case(const char* text, std::size_t length, const char* lower) {
    if (length != std::strlen(lower)) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if ((text[i] | 0x20) != lower[i]) {
            return false;
        }
    }
    return true;
}

// Whether the argument looks like a try at the option -h: "-H", "--h",
// "--html", "/h", "-h" with blanks around it, or a typographic dash and "h".
bool looks_like_page_option(const char* argument) {
    std::size_t begin = 0;
    std::size_t end = std::strlen(argument);
    while (begin < end && (argument[begin] == ' ' || argument[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (argument[end - 1] == ' ' || argument[end - 1] == '\t')) {
        --end;
    }
    const char* word = argument + begin;
    std::size_t dash = typographic_dash_length(word);
    if (dash == 0 && std::strncmp(word, "--", 2) == 0) {
        dash = 2;
    } else if (dash == 0 && (word[0] == '-' || word[0] == '/')) {
        dash = 1;
    }
    const std::size_t length = end - begin;
    return dash > 0 && dash < length &&
           (equals_ignoring_case(word + dash, length - dash, "h") ||
            equals_ignoring_case(word + dash, length - dash, "html"));
}

void write_unused_argument_note(std::FILE* out, int position, char** argv, bool shifted) {
    std::fprintf(out, " Hinweis: Argument %d \"", position);
    write_argument(out, argv[position]);
    std::fputs("\" wurde nicht verwendet", out);
    if (looks_like_page_option(argv[position])) {
        std::fputs(": die Option fuer eine ganze HTML-Seite wird -h geschrieben, mit "
                   "Bindestrich und kleinem h.\n",
                   out);
    } else if (shifted) {
        std::fputs("; als Zieldatei gilt das fuenfte Argument \"", out);
        write_argument(out, argv[5]);
        std::fputs("\". Wahrscheinlich fehlen Anfuehrungszeichen: Argumente mit Leerzeichen "
                   "muessen in Anfuehrungszeichen eingeschlossen werden.\n",
                   out);
    } else {
        std::fputs(": nach den fuenf Argumenten nimmt das Programm nur die Option -h.\n", out);
    }
}

} // namespace

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

bool command_line_is_shifted(int argc, char** argv) {
    if (argc <= 6 || is_page_option(argv[5])) {
        return false;
    }
    for (int i = 6; i < argc; ++i) {
        if (!is_page_option(argv[i])) {
            return true;
        }
    }
    return false;
}

void write_argument_notes(std::FILE* out, int argc, char** argv) {
    const int meant = meant_target(argc, argv);
    if (argc > 5 && is_page_option(argv[5])) {
        write_target_option_note(out, meant == 0 ? nullptr : argv[meant]);
    }
    const bool shifted = command_line_is_shifted(argc, argv);
    for (int i = 6; i < argc; ++i) {
        if (i != meant && !is_page_option(argv[i])) {
            write_unused_argument_note(out, i, argv, shifted);
        }
    }
}

void write_empty_name_note(std::FILE* out, const char* recipient_name) {
    if (page_reads_blank(recipient_name)) {
        std::fputs(" Hinweis: Empfaengername ist leer: der Verweis (mit -h die Schaltflaeche) "
                   "zeigt nur \"Nachricht an\". Geben Sie einen Namen an.\n",
                   out);
    }
}

void write_program_path_note(std::FILE* out, const char* program_path) {
    const char* markup = std::strpbrk(program_path, "\"&<>");
    if (page_mode == 0 || markup == nullptr) {
        return;
    }
    std::fputs(" Hinweis: Das generator-Element im Kopf der Seite zeigt den Programmpfad \"", out);
    write_argument(out, program_path);
    std::fprintf(out,
                 "\", wie er aufgerufen wurde; dessen \"%c\" zerbricht oder veraendert den Kopf "
                 "der Seite. Rufen Sie das Programm mit seinem Namen auf (installiert) oder aus "
                 "seinem Ordner.\n",
                 *markup);
}
