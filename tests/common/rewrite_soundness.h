// What every rewrite the program suggests must be, for the unit test's
// table and the fuzz target alike.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "check/code_page_misreading.h"
#include "check/field_meaning.h"
#include "check/field_rules.h"

// RFC 3492's decoder, written apart from the program's encoder: the
// characters of one label's Punycode (after "xn--"); empty where it is none.
inline std::u32string punycode_decoded(const std::string& code) {
    const std::size_t delimiter = code.rfind('-');
    std::u32string out;
    std::size_t in = 0;
    if (delimiter != std::string::npos) {
        out.assign(code.begin(), code.begin() + static_cast<std::ptrdiff_t>(delimiter));
        in = delimiter + 1;
    }
    unsigned long long n = 128;
    unsigned long long i = 0;
    unsigned long long bias = 72;
    while (in < code.size()) {
        const unsigned long long old_i = i;
        unsigned long long w = 1;
        for (unsigned long long k = 36;; k += 36) {
            if (in == code.size() || w > 0xFFFFFFFF) {
                return {};
            }
            const char c = code[in++];
            const unsigned long long digit = c >= 'a' && c <= 'z'   ? c - 'a'
                                             : c >= '0' && c <= '9' ? c - '0' + 26
                                                                    : 36;
            if (digit == 36) {
                return {};
            }
            i += digit * w;
            const unsigned long long t = k <= bias ? 1 : k >= bias + 26 ? 26 : k - bias;
            if (digit < t) {
                break;
            }
            w *= 36 - t;
        }
        unsigned long long delta = old_i == 0 && out.empty() ? (i - old_i) / 700 : (i - old_i) / 2;
        delta += delta / (out.size() + 1);
        bias = 0;
        while (delta > 455) {
            delta /= 35;
            bias += 36;
        }
        bias += (36 * delta) / (delta + 38);
        n += i / (out.size() + 1);
        i %= out.size() + 1;
        if (n > 0x10FFFF) {
            return {};
        }
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(i), static_cast<char32_t>(n));
        ++i;
    }
    return out;
}

// An address's meaning with each "xn--" label of its domain decoded and
// its ASCII letters in lower case, as mail servers compare domains.
inline FieldMeaning domain_decoded(FieldMeaning meaning) {
    const char32_t* begin = meaning.characters;
    const char32_t* end = begin + meaning.length;
    const char32_t* at = std::find(begin, end, U'@');
    if (at == end) {
        return meaning;
    }
    std::u32string domain(at + 1, end);
    std::u32string decoded;
    for (std::size_t begin = 0; begin <= domain.size();) {
        const std::size_t dot = std::min(domain.find(U'.', begin), domain.size());
        std::u32string label = domain.substr(begin, dot - begin);
        for (char32_t& c : label) {
            c = c >= 'A' && c <= 'Z' ? c + 32 : c;
        }
        if (label.rfind(U"xn--", 0) == 0) {
            label = punycode_decoded(std::string(label.begin() + 4, label.end()));
        }
        decoded += label + (dot < domain.size() ? U"." : U"");
        begin = dot + 1;
    }
    const auto kept = static_cast<std::size_t>(at + 1 - begin);
    meaning.length = std::min(kept + decoded.size(), std::size(meaning.characters));
    std::copy_n(decoded.begin(), meaning.length - kept, meaning.characters + kept);
    return meaning;
}

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
    FieldMeaning rewritten = field_meaning(which, rewrite);
    if (which == LinkField::recipient_address) {
        // An internationalised domain may be rewritten in its ASCII form.
        rewritten = domain_decoded(rewritten);
        meant = domain_decoded(meant);
    }
    if (!same_meaning(rewritten, meant)) {
        return "means something else";
    }
    return nullptr;
}
