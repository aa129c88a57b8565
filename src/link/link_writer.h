// The plain mail link: its opening, the percent-encoded body and its closing.
#pragma once

#include <cstdio>

// Writes "<a href="mailto:NAME <ADDRESS>?subject=SUBJECT&body=". The three
// values are inserted as they stand, neither encoded nor escaped.
void write_link_opening(std::FILE* target, const char* recipient_name,
                        const char* recipient_address, const char* subject);

// What encode_body_byte wrote: the byte itself, which a browser hands on as
// it is or (for { | }) as "%XX", or "%xx".
constexpr int BODY_BYTE_AS_IS = 1;
constexpr int BODY_BYTE_WIDENED = 2;
constexpr int BODY_BYTE_ESCAPED = 3;

// Writes one message byte (0 to 255): a safe character as itself, any other
// byte as "%" and two lower-case hexadecimal digits. Returns which of the
// three it was.
int encode_body_byte(std::FILE* target, int byte);

// Writes the end of the start tag, the link text and the end tag.
void write_link_closing(std::FILE* target, const char* recipient_name);

// True for the 73 characters the body carries unencoded: digits, letters
// and , - . @ [ ] _ { | } ~
bool is_safe_body_byte(int byte);

// The length of "mailto:NAME <ADDRESS>?subject=SUBJECT&body=" as a browser
// hands it to the mail program: a byte it escapes there (a blank, '"',
// '<', '>', '\\', '^', '`', '{', '|', '}', "'", a control or a byte from
// 0x80 on) counts three.
unsigned long long link_start_length(const char* recipient_name, const char* recipient_address,
                                     const char* subject);
