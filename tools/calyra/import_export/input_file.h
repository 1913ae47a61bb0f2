// A file an import reads, as named on the command line ("-": standard
// input). It is opened when named, so a missing or unreadable file refuses
// the import before anything is stored; then it is read a piece at a time,
// as often as asked (a count of its entries first, then the import), so an
// import holds a piece of a file of any size, never all of it. Standard
// input, a pipe or a device cannot be read twice: it is read once, whole,
// when named, and kept.
//
// Ownership: owns its open file. Thread-safety: one thread.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "interchange/vcard_batches.h"

namespace calyra::cli {

class InputFile {
public:
    // Throws ClientError naming the file when it cannot be read.
    explicit InputFile(std::string path);

    const std::string& path() const { return m_path; }
    // Its bytes from the start, a piece at a time. The source throws
    // ClientError naming the file when reading fails.
    interchange::ByteSource pieces();
    // Its bytes, whole.
    std::string whole();

private:
    std::string m_path;
    std::ifstream m_file;
    std::optional<std::string> m_kept;  // the bytes of an input that is no regular file
};

// Each named file, opened in order: a missing one refuses them all.
std::vector<InputFile> OpenInputs(const std::vector<std::string>& paths);

}  // namespace calyra::cli
