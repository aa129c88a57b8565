// The three fields of the link that the check reads: they go into it as
// typed.
#pragma once

enum class LinkField : unsigned char { recipient_name, recipient_address, subject };

// The field's label in notes: "Empfaengername", "Empfaengeradresse" or
// "Betreffzeile".
const char* link_field_label(LinkField field);
