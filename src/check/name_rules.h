// The rules for the recipient name: how a mail program parses it in
// "NAME <ADDRESS>", and what the page takes for a tag in it.
#pragma once

#include "check/rule_field.h"

// Check 6: a character that splits or hides the name, unless the whole
// name is enclosed in quotes; inside them a '"', '\\', ';' or a ',' after an
// '@'. A '"' typed as such also ends the href.
Finding check_name_syntax(const Field& field);

// Check 13: in the page's text a '<' before a letter, '/', '!' or '?'.
Finding check_name_tag(const Field& field);

// Check 16: Roundcube reads the name it gets as HTML text once more, so a
// '&' there that starts a character reference shows as that character.
Finding check_name_read_as_html(const Field& field);

// KMime reads a plain name as words, and a '.' as a word of its own: it
// writes it with no blank before it and one after it, and a name that
// starts with it it does not read at all. So a '.' keeps its place only
// after a word and before a blank or tab, or last. before and after are
// the characters around it, 0 at the name's ends.
inline bool kmail_moves_dot(char32_t before, char32_t after) {
    return before == 0 || before == ' ' || before == '\t' ||
           (after != 0 && after != ' ' && after != '\t');
}

// Check 20: a '.' that KMail moves, in a name that is not enclosed in
// quotes.
Finding check_dotted_name(const Field& field);
