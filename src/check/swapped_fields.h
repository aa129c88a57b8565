// Name and address typed the other way round: the name is an address, and
// the address is none. Each field's own notes would then mend the mistake
// into the link (the address enclosed as a name), so one note says what
// happened instead.
#pragma once

#include <cstdio>

// Where the name is exactly one plain address and the address holds no
// '@', as the mail program reads them.
bool name_and_address_look_swapped(const char* recipient_name, const char* recipient_address);

void write_swapped_fields_note(std::FILE* out);
