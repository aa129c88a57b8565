// The code pages in which a Windows console or editor most often shows
// text: where a field's bytes went through the wrong one, the check reads
// them back.
#pragma once

enum class CodePage : unsigned char { cp850, cp437, cp1252 };

// The character that byte stands for in the code page. Code page 1252's
// five unassigned bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081 and
// so on, as Windows and browsers read them.
char32_t code_page_character(CodePage page, unsigned char byte);

// The byte that stands for character in the code page, or -1 where it has
// none.
int code_page_byte(CodePage page, char32_t character);
