// Lets a person change a text in their own editor: the text is written to a
// private temporary file, $VISUAL (else $EDITOR, else vi) is run on it with
// the terminal, and the file is read back.
//
// The editor's command is run by /bin/sh with the file as "$1", so a value
// such as "code --wait" or "emacsclient -t" works as it does for git.
//
// Ownership: EditedText owns its temporary file and removes it when
// destroyed, unless keep() was called: a caller that cannot store what the
// person wrote keeps the file and names it, so the work is not lost.
// Thread-safety: one thread (the editor owns the terminal while it runs).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace calyra::cli {

class EditedText {
public:
    EditedText(std::filesystem::path file, std::string text, bool changed)
        : m_file(std::move(file)), m_text(std::move(text)), m_changed(changed) {}
    ~EditedText();
    EditedText(const EditedText&) = delete;
    EditedText& operator=(const EditedText&) = delete;

    const std::string& text() const { return m_text; }
    // Whether the person changed anything (saving the text unchanged, or
    // quitting without saving, is no change).
    bool changed() const { return m_changed; }
    // Leaves the file in place; returns its path for the message.
    const std::filesystem::path& keep() {
        m_kept = true;
        return m_file;
    }

private:
    std::filesystem::path m_file;
    std::string m_text;
    bool m_changed;
    bool m_kept = false;
};

// Runs the editor on `text` in a file named calyra-<what>-XXXXXX<suffix>
// (suffix ".vcf" or ".ics", so the editor picks its highlighting). Throws
// ClientError (status 1) when the file cannot be made or read, the editor
// cannot be started or it exits with a failure; nothing is changed then.
EditedText EditInEditor(const std::string& text, std::string_view what, std::string_view suffix);

// The editor command that EditInEditor runs.
std::string EditorCommand();

}  // namespace calyra::cli
