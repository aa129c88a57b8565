// The rule for an address with characters beyond ASCII, which KMail encodes
// as it encodes a name, and which a mail server without SMTPUTF8 refuses.
#pragma once

#include "check/rule_field.h"

// Check 21: the first character beyond ASCII in the address as the mail
// program gets it (a no-break space and the C1 controls aside, which checks
// 7 and 9 name). In the domain, the advice says whether the ASCII form can
// be given here.
Finding check_address_beyond_ascii(const Field& field);
