// Trace sender.
#include "core/trace.h"

#include <cstring>

#include "platform/system/window.h"

namespace calyra {

bool SendTrace(const char* text) {
    HWND hwnd = FindWindowW(nullptr, AsOle(u"Receiver"));
    if (!IsWindow(hwnd)) return false;
    COPYDATASTRUCT cds;
    cds.dwData = 0;
    cds.cbData = static_cast<DWORD>(std::strlen(text));
    cds.lpData = const_cast<char*>(text);
    SendMessageW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    return true;
}

}  // namespace calyra
