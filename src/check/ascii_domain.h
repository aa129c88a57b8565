// A domain beyond ASCII in the ASCII form that IDNA gives it ("xn--" and
// Punycode), where this program can be sure of that form without Unicode's
// tables.
#pragma once

#include <cstddef>

// The longest label a domain may hold, in its ASCII form.
inline constexpr std::size_t LONGEST_LABEL = 63;

// Whether c stands in a label as IDNA maps it: a lower-case Latin letter
// from U+00DF to U+00FF (less U+00F7). Any other character beyond ASCII
// may map to something else, which only Unicode's tables tell.
bool maps_to_itself(char32_t c);

// Writes domain[0, length) into out (at most size characters) with each
// label that holds a character beyond ASCII in its ASCII form, its ASCII
// letters in lower case; the other labels stay as they are. Returns the
// length written, or 0 where a label holds a character that does not map
// to itself, its ASCII form is longer than LONGEST_LABEL, or out is full.
std::size_t ascii_domain(const char32_t* domain, std::size_t length, char32_t* out,
                         std::size_t size);
