// The schema texts a database must hold, read at run time from
// tests/data/schema, so the tests compare against text that no code of the
// component produced. A file holds statements separated by one empty line,
// each with its real line feeds. Returns copies; safe from any thread.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bstr.h"

namespace calyra::test {

inline std::vector<std::u16string> SchemaTexts(const char* file) {
    const auto path = std::filesystem::path(CALYRA_TEST_DATA_DIR) / "schema" / file;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::vector<std::u16string> statements;
    for (size_t start = 0; !text.empty();) {
        const size_t end = text.find("\n\n", start);
        statements.push_back(Utf8ToUtf16(text.substr(start, end - start)));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return statements;
}

}  // namespace calyra::test
