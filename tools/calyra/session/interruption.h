// Ctrl-C while the client does work that lands whole or not at all (an
// import): the person is told that nothing was stored, and the program
// ends with status 130, as a shell reports an interrupted command.
//
// While an InterruptionScope lives, SIGINT does not kill the program
// outright. While nothing is being written (the files are still being
// read) the handler says so and ends the program at once. While a
// transaction is open, or the session creates or upgrades the file's
// schema, it only notes the request: the next ThrowIfInterrupted (each
// entry of an import calls it through its progress, and every commit does)
// throws, the transaction rolls back on its way out, and the run loop
// prints the message. Once COMMIT has begun the work is stored whole, so a
// request that comes then or later is let pass.
//
// Ownership: a scope restores the handler it replaced. Thread-safety: one
// thread, like the session; the handler only touches lock-free flags and
// calls write(2) and _exit(2).
#pragma once

#include <string>

namespace calyra::cli {

class InterruptionScope {
public:
    // `message` is what the person reads: "interrupted; nothing was imported".
    explicit InterruptionScope(std::string message);
    ~InterruptionScope();
    InterruptionScope(const InterruptionScope&) = delete;
    InterruptionScope& operator=(const InterruptionScope&) = delete;
};

// The exit status of an interrupted command.
inline constexpr int kInterruptedStatus = 130;

// Throws ClientError(message, kInterruptedStatus) when Ctrl-C was pressed
// inside a scope; does nothing outside one.
void ThrowIfInterrupted();

// Kept by Transaction and the session's open: writing that must not be
// cut short is under way (nested: each begin has its end).
void NoteWritingBegins();
void NoteWritingEnds();
// Kept by Transaction around COMMIT, and after one that succeeded (the
// work is stored: a Ctrl-C while the report is printed is let pass).
void NoteCommitting(bool committing);
void NoteCommitted();

}  // namespace calyra::cli
