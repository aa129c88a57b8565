#include "check/swapped_fields.h"

#include <cstring>

#include "check/field_meaning.h"
#include "check/field_rules.h"

bool name_and_address_look_swapped(const char* recipient_name, const char* recipient_address) {
    // A typed '@' is one in every reading: the common case needs no reading.
    if (std::strchr(recipient_address, '@') != nullptr) {
        return false;
    }
    const unsigned name_as_address =
        link_field_faults(LinkField::recipient_address, recipient_name, recipient_name);
    if ((name_as_address & (1U << static_cast<unsigned>(FAULT_ADDRESS_SYNTAX))) != 0) {
        return false;
    }
    const FieldMeaning address = field_meaning(LinkField::recipient_address, recipient_address);
    for (std::size_t i = 0; i < address.length; ++i) {
        if (address.characters[i] == '@') {
            return false;
        }
    }
    return true;
}

void write_swapped_fields_note(std::FILE* out) {
    std::fputs(" Hinweis: Empfaengername und Empfaengeradresse sehen vertauscht aus: der Name ist "
               "eine Adresse, die Adresse enthaelt kein @. Geben Sie zuerst den Namen, dann die "
               "Adresse an, z. B. \"Max Mustermann\" max.mustermann@example.com.\n",
               out);
}
