// The rule for what KMail does to a link: it percent-decodes the whole URL
// before it splits it, and then decodes each part once more.
#pragma once

#include "check/rule_field.h"

// Check 19: as the mail program gets the field, a '%' with two hex digits
// after it (any field); in name and address a '#' or '?' written as an
// escape; in the subject a '&' at its start or with a '=' after it.
Finding check_decoded_twice(const Field& field);
