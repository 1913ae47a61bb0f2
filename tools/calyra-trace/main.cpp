// calyra-trace: shows the trace texts of Calyra clients as they run.
//
//   calyra-trace [--desktop NAME]
//
// Opens the window titled "Receiver" on the desktop (NAME, else the one in
// CALYRA_DESKTOP, else the user's default) and prints every text it receives
// on a line of its own, flushed at once, until SIGINT or SIGTERM. Control
// characters, which would break a line, print as \xHH. A desktop has one
// receiver at most: exits 1 when another is open (or on any other failure),
// 2 on a usage error, 0 when interrupted.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include <pthread.h>
#include <unistd.h>

#include "platform/system/window.h"

namespace {

constexpr char16_t kReceiverTitle[] = u"Receiver";

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: calyra-trace [--desktop NAME]\n"
                 "  Opens the trace receiver (the window titled \"Receiver\") and prints each\n"
                 "  text that Calyra clients on the same desktop send, one per line, until\n"
                 "  interrupted (Ctrl+C). Control characters print as \\xHH.\n"
                 "  --desktop NAME  use desktop NAME instead of $CALYRA_DESKTOP or \"default\"\n"
                 "  -h, --help      show this help\n");
}

int Usage() {
    PrintUsage(stderr);
    return 2;
}

// The desktop windows are opened on, by the same rule as the windowing layer.
std::string CurrentDesktop() {
    const char* desktop = std::getenv("CALYRA_DESKTOP");
    return desktop && *desktop ? desktop : "default";
}

std::string Printable(const char* data, size_t size) {
    std::string line;
    line.reserve(size + 1);
    for (size_t i = 0; i < size; ++i) {
        auto byte = static_cast<unsigned char>(data[i]);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            line += escaped;
        } else {
            line += static_cast<char>(byte);
        }
    }
    line += '\n';
    return line;
}

std::atomic<int> g_outputError{0};  // errno of the first failed write, 0 while output works

// Runs on the window's thread. When standard output is gone (a closed pipe)
// there is nobody left to show texts to: ask the main thread to stop.
LRESULT ShowText(const COPYDATASTRUCT& cds) {
    std::string line = Printable(static_cast<const char*>(cds.lpData), cds.cbData);
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0) {
        int expected = 0;
        if (g_outputError.compare_exchange_strong(expected, errno ? errno : EIO)) ::kill(::getpid(), SIGTERM);
        return 0;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string desktop;
        if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--desktop" && i + 1 < argc) {
            desktop = argv[++i];
        } else if (arg.rfind("--desktop=", 0) == 0) {
            desktop = arg.substr(std::strlen("--desktop="));
        } else {
            return Usage();
        }
        if (desktop.empty()) {
            std::fprintf(stderr, "calyra-trace: the desktop name must not be empty\n");
            return Usage();
        }
        ::setenv("CALYRA_DESKTOP", desktop.c_str(), 1);
    }
    std::string desktop = CurrentDesktop();

    // Signals wait for the main thread's sigwait; blocked before the window
    // starts its thread, which inherits the mask. A closed output pipe is an
    // error to report, not a silent death.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (FindWindowW(nullptr, kReceiverTitle)) {
        std::fprintf(stderr,
                     "calyra-trace: a trace receiver is already open on desktop \"%s\"; "
                     "close it or choose another desktop with --desktop\n",
                     desktop.c_str());
        return 1;
    }
    std::unique_ptr<calyra::MessageWindow> window;
    try {
        window = std::make_unique<calyra::MessageWindow>(kReceiverTitle, ShowText);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "calyra-trace: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "calyra-trace: showing trace texts sent on desktop \"%s\" (Ctrl+C to stop)\n",
                 desktop.c_str());

    int received = 0;
    while (::sigwait(&stopSignals, &received) != 0) {
    }
    window.reset();
    if (int error = g_outputError.load()) {
        std::fprintf(stderr, "calyra-trace: cannot write to standard output: %s\n", std::strerror(error));
        return 1;
    }
    return 0;
}
