#include "session/interruption.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

#include "session/client_error.h"

namespace calyra::cli {
namespace {

// What the handler reads: plain lock-free atomics, set before it is
// installed and changed only by the one thread the client runs on.
std::atomic<int> g_writing{0};
std::atomic<bool> g_committing{false};
std::atomic<bool> g_stored{false};  // a commit inside the scope succeeded
std::atomic<bool> g_interruptRequested{false};
std::atomic<bool> g_scopeActive{false};
// The message, and "calyra: <message>\n" as the handler writes it.
std::string g_interruptMessage;
std::string g_interruptLine;

struct sigaction g_previousAction {};

void OnInterrupt(int) {
    if (g_committing.load() || g_stored.load()) return;
    if (g_writing.load() == 0) {
        // Nothing written yet: say so and end here.
        const std::string& line = g_interruptLine;
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
        ::_exit(kInterruptedStatus);
    }
    g_interruptRequested.store(true);
}

}  // namespace

InterruptionScope::InterruptionScope(std::string message) {
    g_interruptLine = "calyra: " + message + "\n";
    g_interruptMessage = std::move(message);
    g_interruptRequested.store(false);
    g_stored.store(false);
    g_scopeActive.store(true);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_previousAction);
}

InterruptionScope::~InterruptionScope() {
    ::sigaction(SIGINT, &g_previousAction, nullptr);
    g_scopeActive.store(false);
    g_interruptRequested.store(false);
}

void ThrowIfInterrupted() {
    if (!g_scopeActive.load() || !g_interruptRequested.load()) return;
    g_interruptRequested.store(false);
    throw ClientError(g_interruptMessage, kInterruptedStatus);
}

void NoteWritingBegins() { g_writing.fetch_add(1); }
void NoteWritingEnds() { g_writing.fetch_sub(1); }
void NoteCommitting(bool committing) { g_committing.store(committing); }
void NoteCommitted() { g_stored.store(true); }

}  // namespace calyra::cli
