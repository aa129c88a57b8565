// Runs a writer against a temporary stream and returns what it wrote.
#pragma once

#include <cstdio>
#include <string>

template <typename Writer> std::string capture_output(Writer&& writer) {
    std::FILE* stream = std::tmpfile();
    writer(stream);
    std::string text;
    std::rewind(stream);
    for (int byte = std::getc(stream); byte != EOF; byte = std::getc(stream)) {
        text.push_back(static_cast<char>(byte));
    }
    std::fclose(stream);
    return text;
}
