// Page mode: a whole HTML 4.01 Transitional page that draws the link as a
// centred button.
#pragma once

#include <cstdio>

// Writes the head (title, meta elements), the style sheet and the body
// opening.
void write_page_head(std::FILE* target, const char* program_path, const char* recipient_name);

// Writes the two div elements and the anchor start up to "&body=".
void write_framed_link_opening(std::FILE* target, const char* recipient_name,
                               const char* recipient_address, const char* subject);

// Writes the end of the anchor and closes both div elements.
void write_framed_link_closing(std::FILE* target, const char* recipient_name);

// Writes the end of the body and of the page.
void write_page_tail(std::FILE* target);
