// What every command needs: the global options, the session (opened on
// first use, so "--help" never touches a database), the output, and the
// table of actions behind the command line.
//
// A command family adds its rows (cli/command_row.h) to the CLI11
// application, which binds each leaf to an action and gives the context the
// leaf's options struct to keep; RunClient parses the line and runs the
// action of the leaf that was chosen. Thread-safety: one thread.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "output/output.h"
#include "session/session.h"
#include "session/settings.h"

namespace calyra::cli {

// What a command does to the database file. A command that only reads,
// given a missing or empty file, says so instead of creating a database.
enum class Access { Reads, Writes };

// What running a leaf command does.
struct CommandAction {
    Access access;
    std::function<void()> run;
};

class CommandContext {
public:
    GlobalOptions options;
    // What the run goes by, with where each value came from (`config`
    // shows them); filled after the command line is read.
    Settings settings;

    Session& session() {
        if (!m_session) m_session = std::make_unique<Session>(options);
        return *m_session;
    }
    // The output in the chosen format; colour is judged by the real
    // standard output, so a redirected run (a test's stream) never paints
    // unless --color always asks.
    const Output& out() {
        if (!m_output) {
            const bool terminal = !m_stream && ::isatty(STDOUT_FILENO) == 1;
            m_output = std::make_unique<Output>(OutputOptions{FormatNamed(options.format, options.json),
                                                              !options.noHeader, ColorWanted(options.color, terminal)},
                                                m_stream);
        }
        return *m_output;
    }
    // Where output goes (tests capture it); default standard output.
    void redirect(std::ostream* stream) {
        m_stream = stream;
        m_output.reset();
    }

    // Makes `action` what running `command` does, and says whether it
    // only reads the file. `sql` and `events exceptions` read in their
    // reading form; their actions call willWrite() when they will write.
    void bind(CLI::App* command, Access access, std::function<void()> action) {
        m_actions[command] = CommandAction{access, std::move(action)};
    }
    // The action of the deepest chosen subcommand of `app`; nullptr when the
    // chosen command is a group without a leaf.
    const CommandAction* chosen(CLI::App& app) const;

    // A new `T` that lives as long as this context: a command's options
    // struct, which CLI11 fills and the command's action reads
    // (cli/command_row.h). The reference stays valid.
    template <class T>
    T& own(T initial = {}) {
        auto held = std::make_unique<Held<T>>(std::move(initial));
        T& value = held->value;
        m_owned.push_back(std::move(held));
        return value;
    }

    // The whole command line, for the commands that read it (completion,
    // the manual page) or run other commands (demo).
    CLI::App& app() const { return *m_app; }
    void setApp(CLI::App& app) { m_app = &app; }

    // Closes the session (the database) now.
    void close() { m_session.reset(); }
    // The open session's file, or nullptr before one was opened.
    const std::filesystem::path* openDatabase() const { return m_session ? &m_session->database() : nullptr; }
    // Called by a reading command before the session opens when this run
    // will write after all (sql with a statement that changes the file).
    void willWrite() { options.readOnly = false; }

private:
    struct Owned {
        virtual ~Owned() = default;
    };
    template <class T>
    struct Held : Owned {
        explicit Held(T initial) : value(std::move(initial)) {}
        T value;
    };

    std::unique_ptr<Session> m_session;
    std::unique_ptr<Output> m_output;
    std::ostream* m_stream = nullptr;
    CLI::App* m_app = nullptr;
    std::map<CLI::App*, CommandAction> m_actions;
    std::vector<std::unique_ptr<Owned>> m_owned;  // options structs, at fixed addresses
};

}  // namespace calyra::cli
