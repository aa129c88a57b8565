// The notes on standard error after a run that wrote the link: what in
// name, address, subject or message will not arrive as written, the slips
// on the command line, and a link too long for some mail programs. They
// change nothing else.
#pragma once

#include <cstdio>

#include "check/message_check.h"
#include "common/common.h"

// In this order: name, address and subject (each with its rewrite), the
// message, the command line, and last the link's length.
void write_run_notes(std::FILE* out, const LinkFields& fields, int argc, char** argv,
                     const MessageCheck& check, unsigned long long link_length);
