#include "cli/external_editor.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "session/client_error.h"

namespace calyra::cli {

EditedText::~EditedText() {
    if (m_kept) return;
    std::error_code ignored;
    std::filesystem::remove(m_file, ignored);
}

std::string EditorCommand() {
    for (const char* name : {"VISUAL", "EDITOR"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return "vi";
}

namespace {

std::string Reason() { return std::strerror(errno); }

// Runs `command "$1"` through the shell with the terminal of this process;
// returns the exit status, or throws when it cannot be run or was killed.
int RunEditor(const std::string& command, const std::filesystem::path& file) {
    const std::string script = command + " \"$1\"";
    const pid_t pid = ::fork();
    if (pid < 0) throw ClientError("cannot start the editor: " + Reason());
    if (pid == 0) {
        const char* argv[] = {"/bin/sh", "-c", script.c_str(), "calyra-editor", file.c_str(), nullptr};
        ::execv("/bin/sh", const_cast<char* const*>(argv));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw ClientError("cannot wait for the editor: " + Reason());
    if (!WIFEXITED(status))
        throw ClientError("the editor \"" + command + "\" was stopped by a signal; nothing changed");
    return WEXITSTATUS(status);
}

}  // namespace

EditedText EditInEditor(const std::string& text, std::string_view what, std::string_view suffix) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    std::string pattern = (dir / ("calyra-" + std::string(what) + "-XXXXXX")).string() + std::string(suffix);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemps makes the file readable by its owner only: a contact is
    // private.
    const int fd = ::mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0) throw ClientError("cannot make a file for the editor in " + dir.string() + ": " + Reason());
    const std::filesystem::path file(name.data());
    EditedText failed(file, "", false);  // removes the file on the way out of a failure
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string why = Reason();
            ::close(fd);
            throw ClientError("cannot write " + file.string() + ": " + why);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) throw ClientError("cannot write " + file.string() + ": " + Reason());

    const std::string command = EditorCommand();
    if (const int status = RunEditor(command, file); status != 0)
        throw ClientError("the editor \"" + command + "\" exited with status " + std::to_string(status) +
                          "; nothing changed");
    std::ifstream in(file, std::ios::binary);
    std::ostringstream edited;
    edited << in.rdbuf();
    if (!in.good() && !in.eof()) throw ClientError("cannot read " + file.string() + " back from the editor");
    failed.keep();  // the result owns the file from here
    std::string result = edited.str();
    const bool changed = result != text;
    return EditedText(file, std::move(result), changed);
}

}  // namespace calyra::cli
