// What a field means: the characters its reader is meant to get, whatever
// form they were typed in. Two ways of typing a field that mean the same
// arrive the same where neither breaks the link.
#pragma once

#include <cstddef>

#include "check/field_reading.h"
#include "check/link_field.h"

struct FieldMeaning {
    bool exists; // false where the escapes decode to bytes that are no UTF-8
    char32_t characters[READING_LIMIT];
    std::size_t length;
};

// The meaning of text (at most READING_LIMIT bytes): P, the field as the
// page reads it, with its raw tabs and line breaks made blanks (removed from
// an address); each "%xx" decoded once; tabs and line breaks from that made
// blanks (removed from an address), other control characters removed; runs
// of blanks made one and trimmed; and a name's enclosing '"' taken off.
FieldMeaning field_meaning(LinkField which, const char* text);

bool same_meaning(const FieldMeaning& a, const FieldMeaning& b);
