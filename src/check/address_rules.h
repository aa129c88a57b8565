// The rule for the recipient address: exactly one plain address, as the
// mail program gets it.
#pragma once

#include "check/rule_field.h"

// Check 7.
Finding check_address_syntax(const Field& field);
