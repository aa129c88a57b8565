// The notes on standard error for a field that the rules find at fault:
// one line per rule, naming the character and what to type instead, and
// saying so where cutting the argument to 99 bytes caused the fault.
#pragma once

#include <cstdio>

#include "check/link_field.h"

// Writes one note line per rule that fires, in the order of their numbers.
// text is the field as it goes into the link, typed the argument before
// the cut.
void write_link_field_notes(std::FILE* out, LinkField which, const char* text, const char* typed);
