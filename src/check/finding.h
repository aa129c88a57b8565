// What a field rule found: the unit below the rules and the notes, so that
// each rule and the table of all of them can share it without including
// one another.
#pragma once

#include <cstddef>

// What one rule found: the first offending character (none where named is
// false), where it was typed, and the words of the note around it.
struct Finding {
    bool fires;
    bool named;
    char32_t character;
    bool is_byte;           // a byte that is no UTF-8, named as "%xx"
    bool in_whole_argument; // found in the argument, not its cut copy
    std::size_t typed_at;
    const char* statement; // before the character
    const char* detail;    // after it
    const char* effect;
    const char* advice;
};
