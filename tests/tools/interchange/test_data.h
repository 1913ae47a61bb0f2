// The sample files under tests/data that the interchange tests read, and
// the check of a parse report's diagnostics.
//
// Ownership: ReadData returns a copy of the file. Thread-safety: as safe as
// reading a file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "interchange/parse_report.h"

namespace calyra::interchange {

// The bytes of tests/data/<name> ("vcard/apple_30.vcf"); a missing file
// fails the test and reads as empty.
inline std::string ReadData(const std::string& name) {
    // The folder comes from the build, not from __FILE__, which a compiler
    // cache or a relative build may leave relative to somewhere else.
    auto path = std::filesystem::path(CALYRA_TEST_DATA_DIR) / name;
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << "missing test file " << path;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct ExpectedDiagnostic {
    size_t line;
    bool skipped;
    const char* words;
};

// The report names each broken line in order, says whether its entry was skipped and why.
inline void ExpectDiagnostics(const std::vector<Diagnostic>& actual, const std::vector<ExpectedDiagnostic>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].line, expected[i].line) << actual[i].what;
        EXPECT_EQ(actual[i].skipped, expected[i].skipped) << actual[i].what;
        EXPECT_NE(actual[i].what.find(expected[i].words), std::string::npos) << actual[i].what;
    }
}

}  // namespace calyra::interchange
