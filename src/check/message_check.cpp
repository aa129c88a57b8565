#include "check/message_check.h"

#include <algorithm>

namespace {

// The position of the byte after the last one handed over: it went out as
// itself, and cut short the character that one left open.
unsigned long long position_after_character(const MessageCheck& check) {
    return check.character_end - (2 * check.escaped) + 1;
}

// A NUL byte, or a sequence that is no UTF-8 and ends at byte, the one at
// position (counted from 1), found on the step from previous.
MessageCheck note_trouble(MessageCheck check, std::uint8_t previous, unsigned char byte,
                          unsigned long long position) {
    if (byte == 0 && check.first_nul == 0) {
        check.first_nul = position;
    }
    const Utf8Trouble trouble = utf8_trouble(previous, byte);
    if (trouble.broken && check.first_not_utf8 == 0) {
        check.first_not_utf8 = position - trouble.bytes_back;
    }
    check.utf8_row = trouble.resume * UTF8_ROW;
    return check;
}

std::uint8_t state_of(unsigned row) { return static_cast<std::uint8_t>(row / UTF8_ROW); }

// Bytes that went out as themselves after the last one handed over, while
// that one left a character open.
bool character_cut_short(const MessageCheck& check, std::uint8_t state,
                         unsigned long long written) {
    return state != UTF8_ACCEPT && written != check.character_end;
}

// The character state left open, cut short by the bytes that went out as
// themselves after the last one handed over.
MessageCheck note_cut_short(const MessageCheck& check, std::uint8_t state) {
    return note_trouble(check, state, 'a', position_after_character(check));
}

// KMail decodes the link twice. A '&' first loses the whole message, so
// that note says all.
void write_decoded_twice_notes(std::FILE* out, const MessageCheck& check) {
    if (check.starts_with_ampersand) {
        // The first decoding ends the body's value at once.
        std::fputs(" Hinweis: Nachricht beginnt mit \"&\": KMail dekodiert den Verweis zweimal, "
                   "verliert dann die Nachricht und haengt \"&body\" an den Betreff. Setzen Sie "
                   "ein Leerzeichen davor oder beginnen Sie anders.\n",
                   out);
        return;
    }
    if (check.first_percent_escape != 0) {
        std::fprintf(out,
                     " Hinweis: Nachricht enthaelt an Byte %llu ein %% mit zwei "
                     "Hexadezimalziffern danach: KMail dekodiert den Verweis zweimal und zeigt "
                     "dafuer ein anderes Zeichen oder verliert Text. Setzen Sie ein Leerzeichen "
                     "hinter das %% oder schreiben Sie \"Prozent\".\n",
                     check.first_percent_escape);
    }
    if (check.first_split_value != 0) {
        std::fprintf(out,
                     " Hinweis: Nachricht enthaelt an Byte %llu ein \"&\" mit einem \"=\" "
                     "danach: KMail dekodiert den Verweis zweimal und verliert die Nachricht ab "
                     "dem \"&\". Schreiben Sie \"und\" statt \"&\" oder lassen Sie das \"=\" "
                     "weg.\n",
                     check.first_split_value);
    }
}

} // namespace

MessageCheck note_message_trouble(MessageCheck check, unsigned previous_row, unsigned char byte,
                                  unsigned long long written) {
    std::uint8_t previous = state_of(previous_row);
    if (character_cut_short(check, previous, written)) {
        check = note_cut_short(check, previous);
        previous = state_of(check.utf8_row);
    }
    const std::uint8_t next = utf8_step(previous, byte);
    const unsigned long long position = written - (2 * check.escaped) + 1;
    check.utf8_row = next * UTF8_ROW;
    if (next == UTF8_TROUBLE) {
        check = note_trouble(check, previous, byte, position);
    }
    // The steps send every '<' this way, to be counted here.
    if (byte == UTF8_TOLD_BYTE && check.first_less_than == 0) {
        check.first_less_than = position;
    }
    return check;
}

MessageCheck finish_message_check(MessageCheck check, unsigned long long written) {
    const std::uint8_t state = state_of(check.utf8_row);
    if (character_cut_short(check, state, written)) {
        check = note_cut_short(check, state);
    }
    check.bytes_read = written - (2 * check.escaped);
    // The last word ends with the message, where words were still followed.
    if (check.bytes_read <= WORDS_FOLLOWED) {
        check.longest_word = std::max(check.longest_word, check.bytes_read - check.word_start);
    }
    return check;
}

unsigned long long message_not_utf8_at(const MessageCheck& check) {
    const std::uint8_t state = state_of(check.utf8_row);
    if (check.first_not_utf8 != 0 || state == UTF8_ACCEPT) {
        return check.first_not_utf8;
    }
    return check.bytes_read - utf8_bytes_taken(state) + 1;
}

unsigned message_faults(const MessageCheck& check) {
    unsigned faults = 0;
    if (check.first_nul != 0) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_NUL);
    }
    if (message_not_utf8_at(check) != 0) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_NOT_UTF8);
    }
    if (check.first_less_than != 0) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_LESS_THAN);
    }
    if (check.longest_word > LONGEST_WHOLE_WORD) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_LONG_WORD);
    }
    if (check.first_percent_escape != 0 || check.starts_with_ampersand ||
        check.first_split_value != 0) {
        faults |= 1U << static_cast<unsigned>(FAULT_MESSAGE_PERCENT_ESCAPE);
    }
    return faults;
}

void write_message_notes(std::FILE* out, const MessageCheck& check) {
    if (check.first_nul != 0) {
        std::fprintf(
            out,
            " Hinweis: Nachricht enthaelt an Byte %llu ein Nullbyte (\"%%00\"): Firefox oeffnet "
            "den Verweis dann gar nicht, Mutt weist ihn ab, NeoMutt und Alpine beenden die "
            "Nachricht dort. Lassen Sie das Nullbyte weg.\n",
            check.first_nul);
    }
    const unsigned long long not_utf8_at = message_not_utf8_at(check);
    if (not_utf8_at != 0) {
        std::fprintf(out,
                     " Hinweis: Nachricht ist ab Byte %llu kein gueltiges UTF-8: Mailprogramme "
                     "zeigen dafuer Fragezeichen oder Ersatzzeichen, manche lassen die ganze "
                     "Nachricht weg. Speichern Sie die Nachricht als UTF-8.\n",
                     not_utf8_at);
    }
    if (check.first_less_than != 0) {
        std::fprintf(out,
                     " Hinweis: Nachricht enthaelt an Byte %llu ein \"<\": Roundcube haelt die "
                     "Nachricht dann fuer HTML und verliert, was wie ein HTML-Tag aussieht, und "
                     "alle Zeilenumbrueche. Lassen Sie es weg oder schreiben Sie es anders, z. B. "
                     "\"kleiner als\" oder (Name) statt <Name>.\n",
                     check.first_less_than);
    }
    if (check.longest_word > LONGEST_WHOLE_WORD) {
        std::fprintf(out,
                     " Hinweis: Nachricht enthaelt ein Wort (eine Zeichenfolge ohne Leerzeichen) "
                     "von %llu Bytes: Roundcube schneidet es nach %llu Bytes ab und setzt den Rest "
                     "auf eine neue Zeile. Fuegen Sie Leerzeichen ein oder kuerzen Sie es.\n",
                     check.longest_word, LONGEST_WHOLE_WORD);
    }
    write_decoded_twice_notes(out, check);
}

void write_byte_order_mark_note(std::FILE* out, const MessageCheck& check) {
    if (check.starts_with_byte_order_mark) {
        std::fputs(" Hinweis: Nachricht beginnt mit einer unsichtbaren Byte-Order-Mark "
                   "(\"%ef%bb%bf\"), die das Mailprogramm behaelt. Speichern Sie die Nachricht "
                   "als UTF-8 ohne BOM.\n",
                   out);
    }
}
