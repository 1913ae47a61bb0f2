// Child processes for the tests that run real programs (the client, a
// writer, DAV servers, third-party clients): started by fork and exec, with
// standard output on a pipe the test reads line by line, or with both output
// streams appended to a log file. Every wait is bounded when asked to be;
// the child dies with the test process (PR_SET_PDEATHSIG), so a failing or
// killed test leaves nothing running.
//
//   ChildProcess import({CALYRA_CLIENT_PATH, "--db", file, "contacts", "import", cards});
//   std::string line;
//   while (import.ReadLine(&line)) ...
//   int status = import.Wait();            // exit status, or 128 + signal
//
// Ownership: a ChildProcess owns its pipes and its process, which it stops
// (SIGTERM, up to 5 s, then SIGKILL) and reaps when destroyed.
// Thread-safety: one thread per ChildProcess.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace calyra::test {

// Kills per test run: `fallback`, or CALYRA_KILLS for a longer run.
inline int KillsPerRun(int fallback) {
    const char* text = std::getenv("CALYRA_KILLS");
    return text ? std::max(1, std::atoi(text)) : fallback;
}

class ChildProcess {
public:
    // Without `log` the child's standard error is the test's. With it,
    // standard error goes to the log, and standard output too unless
    // `pipeOutput`. Standard input is a pipe the child sees closed when
    // this object stops it or the test process ends.
    explicit ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& log = {},
                          bool pipeOutput = true) {
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const std::string logPath = log.string();
        int in[2], out[2] = {-1, -1};
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        if (pipeOutput && ::pipe2(out, O_CLOEXEC) != 0) return;
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            const int logFd = logPath.empty() ? -1 : ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(in[0], STDIN_FILENO);
            if (pipeOutput || logFd >= 0) ::dup2(pipeOutput ? out[1] : logFd, STDOUT_FILENO);
            if (logFd >= 0) ::dup2(logFd, STDERR_FILENO);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(in[0]);
        m_in = in[1];
        if (pipeOutput) ::close(out[1]), m_out = out[0];
    }
    ~ChildProcess() {
        Stop();
        if (m_out >= 0) ::close(m_out);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // The next complete line of output; false at its end, or when no line
    // came within `timeoutMs` (never, if negative).
    bool ReadLine(std::string* line, int timeoutMs = -1) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                *line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return true;
            }
            if (m_out < 0) return false;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                pollfd p{m_out, POLLIN, 0};
                if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) return false;
            }
            char chunk[4096];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;  // a line cut off by a kill is not a line
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    // Reads what is left of the output, then waits: the status as Wait gives it.
    int Finish() {
        for (std::string line; ReadLine(&line);) {
        }
        return Wait();
    }

    void Kill() {
        if (running()) ::kill(m_pid, SIGKILL);
    }

    // Whether the process still runs (reaping it if it ended).
    bool running() {
        if (m_pid <= 0 || m_reaped) return false;
        if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_reaped = true;
        return !m_reaped;
    }

    // The exit status (0-255), or 128 + signal number, or -1.
    int Wait() {
        if (m_pid <= 0) return -1;
        while (!m_reaped && ::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
        if (WIFEXITED(m_status)) return WEXITSTATUS(m_status);
        if (WIFSIGNALED(m_status)) return 128 + WTERMSIG(m_status);
        return -1;
    }

    // Closes its input, then SIGTERM, up to 5 s for it to end, then SIGKILL.
    void Stop() {
        if (m_in >= 0) ::close(m_in), m_in = -1;
        if (!running()) return;
        ::kill(m_pid, SIGTERM);
        for (int i = 0; i < 100 && running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Kill();
        Wait();
    }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_status = 0;
    bool m_reaped = false;
    std::string m_buffer;
};

}  // namespace calyra::test
