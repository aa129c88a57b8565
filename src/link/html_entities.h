// The character references that HTML 4.01, the page's own version, names.
#pragma once

#include <cstddef>

// The code point that a name stands for in "&name;" (length bytes at name,
// without "&" and ";"), or -1 where HTML 4.01 names no such character.
// Names are case-sensitive: "Auml" and "auml" are two letters.
long html_entity_code_point(const char* name, std::size_t length);
