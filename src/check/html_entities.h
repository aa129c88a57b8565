// The named character references of the HTML standard, by which every
// browser reads a page, whatever its doctype.
#pragma once

#include <cstddef>

// A name that matched: its length (with the ';' where it has one) and the
// character or two it stands for (second is 0 for one).
struct NamedReferenceMatch {
    std::size_t length;
    char32_t first;
    char32_t second;
};

// An ASCII letter or digit: what every name is made of.
inline bool is_ascii_alphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The longest name that text (just past a '&', NUL-terminated) starts with,
// as the page's parser takes it; length 0 where none does. Names are
// case-sensitive: "Auml" and "auml" are two letters.
NamedReferenceMatch longest_named_reference(const char* text);
