// The sample files under tests/data that the interchange tests read.
//
// Ownership: ReadData returns a copy of the file. Thread-safety: as safe as
// reading a file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace calyra::interchange
