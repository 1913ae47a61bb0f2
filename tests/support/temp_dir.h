// A temporary directory for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/bstr.h"

namespace calyra::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "calyra-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
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

}  // namespace calyra::test
