// Where white space in a field does not count: a mail program drops
// blanks, tabs and line breaks at a field's ends, and in an enclosed name
// next to its quotes.
#pragma once

#include <cstddef>

#include "check/field_reading.h"

// Runs of white space in one reading of a field, as index ranges.
struct Ends {
    std::size_t lead_end;    // [0, lead_end) touches the start
    std::size_t trail_start; // [trail_start, length) touches the end
    std::size_t after_open_begin;
    std::size_t after_open_end;
    std::size_t before_close_begin;
    std::size_t before_close_end;

    // At the field's outer ends.
    [[nodiscard]] bool outer(std::size_t i) const { return i < lead_end || i >= trail_start; }
    // There, or next to an enclosed name's quotes.
    [[nodiscard]] bool at(std::size_t i) const {
        return outer(i) || (i >= after_open_begin && i < after_open_end) ||
               (i >= before_close_begin && i < before_close_end);
    }
};

struct FieldEnds {
    // In M: white bytes, however they were typed.
    Ends mail;
    // In P: the characters those runs came from, with the raw tabs and
    // line breaks among them that the browser deletes. So a run may mix
    // raw and escaped forms.
    Ends page;
    bool enclosed; // a name in '"' ... '"', as the mail program reads it
};

FieldEnds find_field_ends(const FieldReading& reading, bool is_name);
