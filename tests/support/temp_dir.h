// A temporary directory for one test, removed with everything in it; and
// reading a whole file back.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <random>
#else
#include <unistd.h>
#endif

#include "platform/bstr.h"

namespace calyra::test {

class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: try random names until one is new.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            auto candidate = std::filesystem::temp_directory_path() / ("calyra-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) m_path = candidate;
        }
        if (m_path.empty()) throw std::runtime_error("no temporary directory");
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "calyra-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path file(const std::string& name) const { return m_path / name; }
    Bstr bstr(const std::string& name) const { return Bstr::FromUtf8(file(name).string()); }

private:
    std::filesystem::path m_path;
};

// The whole content of a file, byte for byte; empty when it cannot be read.
inline std::string FileBytes(const std::filesystem::path& file) {
    std::stringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

}  // namespace calyra::test
