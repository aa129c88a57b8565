// Text that went through the wrong code page on its way to the command
// line: UTF-8 shown (and passed on) as code page 850, 437 or 1252, as a
// batch file saved as UTF-8 does without "chcp 65001", or code page 1252
// shown as 850, as a batch file saved as ANSI does in a console. Such a
// field arrives exactly as typed, which is not what was meant.
#pragma once

#include "check/field_meaning.h"
#include "check/link_field.h"

enum class Misreading : unsigned char {
    none,
    utf8_as_cp850,
    utf8_as_cp437,
    utf8_as_cp1252,
    cp1252_as_cp850,
};

// How the field's text most likely went wrong, and in meant what it most
// likely meant; none where it reads as real text.
Misreading find_misreading(LinkField which, const char* text, FieldMeaning& meant);
