// Collects the trace texts this process sends while it is alive, by opening
// the "Receiver" window on the test's private desktop; every message is
// answered with `result`.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/system/window.h"

namespace calyra::test {

class TraceRecorder {
public:
    explicit TraceRecorder(LRESULT result = 1)
        : m_window(u"Receiver", [this, result](const COPYDATASTRUCT& cds) {
              std::lock_guard lock(m_mutex);
              m_texts.emplace_back(static_cast<const char*>(cds.lpData), cds.cbData);
              m_dwData.push_back(cds.dwData);
              return result;
          }) {}

    std::vector<std::string> texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    std::vector<ULONG_PTR> dwData() const {
        std::lock_guard lock(m_mutex);
        return m_dwData;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_texts.clear();
        m_dwData.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;  // Guarded by m_mutex.
    std::vector<ULONG_PTR> m_dwData;   // Guarded by m_mutex.
    MessageWindow m_window;            // Last: destroyed first, stops delivery.
};

}  // namespace calyra::test
