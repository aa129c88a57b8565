// The field rewritten so that it arrives as meant: the argument to type
// instead of one that the rules find at fault. It is printable ASCII
// without '"', '$', '`', '\' or '!', so that it can be pasted between
// double quotes in a shell.
#pragma once

#include "check/field_rules.h"
#include "common/common.h"

// Writes the rewrite of the field (text as it goes into the link, typed
// the argument before the cut) into rewrite; false where there is none: a
// cut field, one that means nothing, one whose bytes are no UTF-8, an
// address that is not one plain address, a name whose meaning holds a
// character no quoting gets through every mail program, or a rewrite over
// 99 bytes.
bool rewrite_field(LinkField which, const char* text, const char* typed,
                   const FieldFindings& findings, char (&rewrite)[FIELD_SIZE]);
