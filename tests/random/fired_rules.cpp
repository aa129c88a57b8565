// Which checks fire on a field, as tests/link_fields.tsv writes them ("1,7",
// or "-"), for the random reader test's rows. Reads lines of a field's
// kind (name, address or subject), a tab and the field's bytes in hex.
#include <cstdio>
#include <cstring>
#include <string>

#include "check/field_rules.h"

namespace {

LinkField field_named(const std::string& kind) {
    if (kind == "name") {
        return LinkField::recipient_name;
    }
    return kind == "address" ? LinkField::recipient_address : LinkField::subject;
}

std::string from_hex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

} // namespace

int main() {
    char line[1024];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        const std::string text(line, std::strcspn(line, "\r\n"));
        const std::size_t tab = text.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        const std::string field = from_hex(text.substr(tab + 1));
        const std::string kind(text, 0, tab);
        const unsigned faults = link_field_faults(field_named(kind), field.c_str(), field.c_str());
        std::string numbers;
        for (int number = 1; number <= LAST_FIELD_RULE; ++number) {
            if ((faults & (1U << static_cast<unsigned>(number))) != 0) {
                if (!numbers.empty()) {
                    numbers += ',';
                }
                numbers += std::to_string(number);
            }
        }
        std::printf("%s\n", numbers.empty() ? "-" : numbers.c_str());
    }
    return 0;
}
