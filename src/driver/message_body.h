// The message, streamed into the link's body and into the message check.
#pragma once

#include <cstdio>

#include "check/message_check.h"

// The one place where the message is read: byte by byte into the encoder
// and the message check. A read error ends the body like end of file; the
// caller checks for it. Returns the length of the encoded body as a browser
// hands it on: each { | } the body holds as it is counts three.
unsigned long long write_body(std::FILE* source, std::FILE* target, MessageCheck& check);
