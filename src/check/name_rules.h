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

// Check 20: KMail puts a blank after a '.' that a letter follows, in a name
// that is not enclosed in quotes.
Finding check_dotted_name(const Field& field);
