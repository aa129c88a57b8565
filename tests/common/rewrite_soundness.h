// What every rewrite the program suggests must be, for the unit test's
// table and the fuzz target alike.
#pragma once

#include <cstring>

#include "check/code_page_misreading.h"
#include "check/field_meaning.h"
#include "check/field_rules.h"

// What is wrong with rewrite as the rewrite of text, or nullptr: it must be
// printable ASCII that a shell takes between double quotes as it stands,
// hold 1 to 99 bytes, get no note itself, and mean what text means.
inline const char* rewrite_fault(LinkField which, const char* text, const char* rewrite) {
    const std::size_t length = std::strlen(rewrite);
    if (length == 0 || length > 99) {
        return "empty, or over 99 bytes";
    }
    for (const char* c = rewrite; *c != '\0'; ++c) {
        if (*c < 0x20 || *c > 0x7E || std::strchr("\"$`\\!", *c) != nullptr) {
            return "not printable ASCII to paste between double quotes";
        }
    }
    if (link_field_faults(which, rewrite, rewrite) != 0) {
        return "gets a note itself";
    }
    // Text that went through the wrong code page is rewritten as meant.
    FieldMeaning meant = field_meaning(which, text);
    FieldMeaning misread{};
    if (find_misreading(which, text, misread) != Misreading::none) {
        meant = misread;
    }
    if (!same_meaning(field_meaning(which, rewrite), meant)) {
        return "means something else";
    }
    return nullptr;
}
