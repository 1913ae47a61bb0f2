#include "import_export/input_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string_view>

#include "session/client_error.h"

namespace calyra::cli {
namespace {

// A piece is big enough that reading costs nothing next to parsing, and
// small next to a batch of cards in memory.
constexpr size_t kPieceBytes = size_t{1} << 20;

ClientError CannotRead(const std::string& path, const std::string& why) {
    return ClientError("cannot read " + path + ": " + why);
}

// What is left of `in`, whole: for an input that has no size to read it by.
std::string Rest(std::istream& in, const std::string& path) {
    std::stringstream text;
    text << in.rdbuf();
    if (in.bad()) throw CannotRead(path, std::strerror(errno));
    return text.str();
}

}  // namespace

InputFile::InputFile(std::string path) : m_path(std::move(path)) {
    if (m_path == "-") {
        m_kept = Rest(std::cin, m_path);
        return;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(m_path, ec)) throw CannotRead(m_path, "it is a directory");
    m_file.open(m_path, std::ios::binary);
    if (!m_file) throw CannotRead(m_path, std::strerror(errno));
    // A pipe or a device cannot be read twice either.
    if (!std::filesystem::is_regular_file(m_path, ec)) m_kept = Rest(m_file, m_path);
}

interchange::ByteSource InputFile::pieces() {
    if (m_kept) return interchange::PiecesOf(*m_kept, kPieceBytes);
    m_file.clear();
    m_file.seekg(0);
    return [this](std::string& out) {
        const size_t had = out.size();
        out.resize(had + kPieceBytes);
        m_file.read(out.data() + had, static_cast<std::streamsize>(kPieceBytes));
        if (m_file.bad()) throw CannotRead(m_path, std::strerror(errno));
        out.resize(had + static_cast<size_t>(m_file.gcount()));
        return out.size() > had;
    };
}

std::string InputFile::whole() {
    if (m_kept) return *m_kept;
    // In one piece of the file's size: through a string stream, whose
    // buffer grows by doubling and is copied out at the end, reading took a
    // tenth of a 20,000-card import.
    m_file.clear();
    m_file.seekg(0);
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_path, ec);
    if (ec) throw CannotRead(m_path, ec.message());
    std::string bytes(static_cast<size_t>(size), '\0');
    m_file.read(bytes.data(), static_cast<std::streamsize>(size));
    if (m_file.bad()) throw CannotRead(m_path, std::strerror(errno));
    bytes.resize(static_cast<size_t>(m_file.gcount()));  // the file may have shrunk meanwhile
    return bytes;
}

std::vector<InputFile> OpenInputs(const std::vector<std::string>& paths) {
    std::vector<InputFile> inputs;
    inputs.reserve(paths.size());
    for (const auto& path : paths) inputs.emplace_back(path);
    return inputs;
}

}  // namespace calyra::cli
