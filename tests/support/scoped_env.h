// ScopedEnv: sets (or unsets, for a NULL value) one environment variable for
// the lifetime of the object and puts back what it was, so a test pointing
// CALYRA_REGISTRY at its own store leaves the process's private one (see
// test_main.cpp) to the next test. Not thread-safe: the environment is the
// process's; tests set it on their own thread before starting others.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace calyra::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        Set(value);
    }
    ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const char* value) {
        if (value)
            setenv(m_name, value, 1);
        else
            unsetenv(m_name);
    }

    const char* m_name;                // Constant after construction.
    std::optional<std::string> m_old;  // Constant after construction; nullopt: it was unset.
};

}  // namespace calyra::test
