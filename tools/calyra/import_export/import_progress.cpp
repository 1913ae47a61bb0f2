#include "import_export/import_progress.h"

#include <unistd.h>

#include <cstdio>

#include "session/interruption.h"

namespace calyra::cli {
namespace {

// Fewer entries than this import before anyone would look at a bar.
constexpr size_t kWorthABar = 500;
constexpr int kWidth = 30;

}  // namespace

ImportProgress::ImportProgress(std::string what, size_t total)
    : m_what(std::move(what)), m_total(total), m_active(total >= kWorthABar && ::isatty(STDERR_FILENO)) {
    if (m_active) draw();
}

ImportProgress::~ImportProgress() {
    if (!m_active) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

void ImportProgress::step(size_t n) {
    ThrowIfInterrupted();
    m_done += n;
    if (!m_active) return;
    const int percent = static_cast<int>(m_done * 100 / m_total);
    if (percent != m_shown) draw();
}

void ImportProgress::draw() {
    const int percent = m_total ? static_cast<int>(m_done * 100 / m_total) : 100;
    m_shown = percent;
    std::string bar(kWidth, ' ');
    for (int i = 0; i < percent * kWidth / 100; ++i) bar[i] = '#';
    std::fprintf(stderr, "\rimporting %s [%s] %3d%% %zu/%zu", m_what.c_str(), bar.c_str(), percent, m_done, m_total);
    std::fflush(stderr);
}

}  // namespace calyra::cli
