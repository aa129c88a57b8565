#include "check/field_ends.h"

namespace {

bool is_white(unsigned char c) { return c == ' ' || url_parser_deletes(c); }

std::size_t skip_white(const unsigned char* text, std::size_t from, std::size_t end) {
    while (from < end && is_white(text[from])) {
        ++from;
    }
    return from;
}

std::size_t skip_white_back(const unsigned char* text, std::size_t end, std::size_t begin) {
    while (end > begin && is_white(text[end - 1])) {
        --end;
    }
    return end;
}

// Where in P the byte M[m] starts; P's end past M's.
std::size_t page_start_of(const FieldReading& reading, std::size_t m) {
    return m < reading.mail_length ? reading.mail_page_first[m] : reading.page_length;
}

// Where in P the bytes M[0, m) end.
std::size_t page_end_of(const FieldReading& reading, std::size_t m) {
    return m > 0 ? reading.mail_page_last[m - 1] + std::size_t{1} : 0;
}

} // namespace

FieldEnds find_field_ends(const FieldReading& reading, bool is_name) {
    const unsigned char* mail = reading.mail;
    FieldEnds ends{};
    Ends& in_mail = ends.mail;
    Ends& in_page = ends.page;
    in_mail.lead_end = skip_white(mail, 0, reading.mail_length);
    in_mail.trail_start = skip_white_back(mail, reading.mail_length, in_mail.lead_end);
    in_page.lead_end = page_start_of(reading, in_mail.lead_end);
    in_page.trail_start = page_end_of(reading, in_mail.trail_start);

    const std::size_t open = in_mail.lead_end;
    const std::size_t close = in_mail.trail_start - 1; // when enclosed
    ends.enclosed =
        is_name && in_mail.trail_start - open >= 2 && mail[open] == '"' && mail[close] == '"';
    if (ends.enclosed) {
        in_mail.after_open_begin = open + 1;
        in_mail.after_open_end = skip_white(mail, open + 1, close);
        in_mail.before_close_end = close;
        in_mail.before_close_begin = skip_white_back(mail, close, in_mail.after_open_end);
        in_page.after_open_begin = page_end_of(reading, open + 1);
        in_page.after_open_end = page_start_of(reading, in_mail.after_open_end);
        in_page.before_close_begin = page_end_of(reading, in_mail.before_close_begin);
        in_page.before_close_end = page_start_of(reading, close);
    }
    return ends;
}
