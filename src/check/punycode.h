// Punycode (RFC 3492): the ASCII form of one label of an internationalised
// domain, the part after "xn--".
#pragma once

#include <cstddef>

// Writes the Punycode of label[0, length) into out, at most size - 1
// characters and a NUL; returns how many, or 0 where it does not fit.
std::size_t punycode_encode(const char32_t* label, std::size_t length, char* out, std::size_t size);
