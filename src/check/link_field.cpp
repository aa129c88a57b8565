#include "check/link_field.h"

const char* link_field_label(LinkField field) {
    switch (field) {
    case LinkField::recipient_name:
        return "Empfaengername";
    case LinkField::recipient_address:
        return "Empfaengeradresse";
    default:
        return "Betreffzeile";
    }
}
