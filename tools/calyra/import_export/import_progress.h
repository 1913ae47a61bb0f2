// A progress bar on standard error for long imports, drawn only when
// standard error is a terminal and there is enough work to wait for:
// "importing contacts [#########           ] 45% 4500/10000". Each step is
// also where a Ctrl-C stops the import.
//
// Ownership: plain value. Thread-safety: one thread.
#pragma once

#include <cstddef>
#include <string>

namespace calyra::cli {

class ImportProgress {
public:
    ImportProgress(std::string what, size_t total);
    ~ImportProgress();  // ends the bar's line
    ImportProgress(const ImportProgress&) = delete;
    ImportProgress& operator=(const ImportProgress&) = delete;

    // `n` more entries done; redraws when the percentage changed. Throws
    // ClientError (status 130) when Ctrl-C was pressed meanwhile
    // (session/interruption.h), so an import stops between two entries.
    void step(size_t n = 1);

private:
    void draw();

    std::string m_what;
    size_t m_total;
    size_t m_done = 0;
    int m_shown = -1;  // percentage drawn last
    bool m_active;
};

}  // namespace calyra::cli
