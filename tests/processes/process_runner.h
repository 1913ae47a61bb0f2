// Child processes for the multi-process tests: start one with its standard
// output on a pipe, read its lines, wait for it or kill it.
//
// Ownership: a ChildProcess owns its pipe and reaps its process (killing it
// first if it still runs) when destroyed. Thread-safety: one thread per
// ChildProcess.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace calyra::test {

// Kills per test run: `fallback`, or CALYRA_KILLS for a longer run.
inline int KillsPerRun(int fallback) {
    const char* text = std::getenv("CALYRA_KILLS");
    return text ? std::max(1, std::atoi(text)) : fallback;
}

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        m_out = fds[0];
    }
    ~ChildProcess() {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out >= 0) close(m_out);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }

    // The next complete line of output; false at the end of the output.
    bool ReadLine(std::string* line) {
        for (;;) {
            size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                *line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return true;
            }
            char chunk[4096];
            ssize_t n = read(m_out, chunk, sizeof chunk);
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
        if (m_pid > 0 && !m_reaped) kill(m_pid, SIGKILL);
    }

    // The exit status (0-255), or 128 + signal number, or -1.
    int Wait() {
        if (m_pid <= 0) return -1;
        if (!m_reaped) {
            while (waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
            m_reaped = true;
        }
        if (WIFEXITED(m_status)) return WEXITSTATUS(m_status);
        if (WIFSIGNALED(m_status)) return 128 + WTERMSIG(m_status);
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_status = 0;
    bool m_reaped = false;
    std::string m_buffer;
};

}  // namespace calyra::test
