// The windowing calls used to send trace texts to another process.
//
// A stand-in for the Win32 functions of the same names, limited to what
// tracing needs: finding a top-level window by title, checking it exists and
// sending it WM_COPYDATA synchronously. Windows belong to one "desktop": by
// default the user's own, or the one named by the CALYRA_DESKTOP environment
// variable (tests use a private desktop so they cannot disturb each other).
// Handles are process-wide values and stay valid for the process's life; all
// calls are thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/types.h"

struct HWND__;
using HWND = HWND__*;

constexpr UINT WM_COPYDATA = 0x004A;

struct COPYDATASTRUCT {
    ULONG_PTR dwData;
    DWORD cbData;
    void* lpData;
};
using PCOPYDATASTRUCT = COPYDATASTRUCT*;

extern "C" {
// lpClassName must be NULL (any class); NULL when no window has that title.
HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
BOOL IsWindow(HWND hWnd);
// Only WM_COPYDATA crosses processes; returns the receiver's result, 0 when
// the window is gone. Blocks until the receiver has handled the message.
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
}

namespace calyra {

// A top-level window owned by this process that receives WM_COPYDATA.
// The handler runs on the window's own thread, one message at a time; the
// data pointer is valid only during the call. Destroying the window stops
// delivery and joins its thread.
class MessageWindow {
public:
    using Handler = std::function<LRESULT(const COPYDATASTRUCT&)>;
    // Throws std::runtime_error when a window of that title already exists
    // on the desktop or the window cannot be created.
    MessageWindow(const std::u16string& title, Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace calyra
