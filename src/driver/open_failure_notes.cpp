#include "driver/open_failure_notes.h"

#include <cerrno>
#include <cstring>

#include "common/common.h"
#include "driver/command_line_notes.h"
#include "driver/file_probe.h"

namespace {

bool is_separator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

// The first folder on the name's path that is missing or no folder, copied
// into folder; false if every one is there.
bool find_broken_folder(const char* name, char (&folder)[FIELD_SIZE], PathKind& kind) {
    const std::size_t length = std::strlen(name);
    for (std::size_t end = 1; end < length && end < FIELD_SIZE; ++end) {
        if (!is_separator(name[end]) || is_separator(name[end - 1])) {
            continue;
        }
        std::memcpy(folder, name, end);
        folder[end] = '\0';
        kind = path_kind(folder);
        if (kind != PathKind::directory) {
            return true;
        }
    }
    return false;
}

void write_named(std::FILE* out, const char* before, const char* name, const char* after) {
    std::fputs(before, out);
    write_argument(out, name);
    std::fputs(after, out);
}

} // namespace

void write_open_failure_note(std::FILE* out, bool source, const char* name, bool name_fits,
                             int open_error) {
    const char* role = source ? "Quelldatei" : "Zieldatei";
    char folder[FIELD_SIZE];
    PathKind folder_kind = PathKind::missing;
    if (std::strcmp(name, "-") == 0) {
        return;
    }
    if (!name_fits) {
        std::fprintf(out,
                     " Hinweis: Der Name der %s ist laenger als 99 Bytes; so lange Namen oeffnet "
                     "das Programm nicht. Geben Sie einen kuerzeren Pfad an.\n",
                     role);
    } else if (path_kind(name) == PathKind::directory) {
        write_named(out, " Hinweis: \"", name, "\" ist ein Ordner, keine Datei. ");
        std::fputs(source ? "Geben Sie als Quelldatei die Datei mit der Nachricht an.\n"
                          : "Geben Sie als Zieldatei den Namen einer Datei an.\n",
                   out);
    } else if (find_broken_folder(name, folder, folder_kind)) {
        const bool missing = folder_kind == PathKind::missing;
        write_named(out, missing ? " Hinweis: Den Ordner \"" : " Hinweis: \"", folder,
                    "\" im Pfad der ");
        std::fputs(role, out);
        std::fputs(missing ? " gibt es nicht. Pruefen Sie den Pfad.\n"
                           : " ist kein Ordner. Pruefen Sie den Pfad.\n",
                   out);
    } else if (open_error == EACCES || open_error == EPERM) {
        std::fprintf(out,
                     " Hinweis: Das Programm darf die %s nicht %s (keine Berechtigung). Pruefen "
                     "Sie die Zugriffsrechte.\n",
                     role, source ? "lesen" : "schreiben");
    }
}
