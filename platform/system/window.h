// The windowing calls used to send trace texts to another process.
//
// A stand-in for the Win32 functions of the same names, limited to what
// tracing needs: finding a top-level window by title, checking it exists and
// sending it WM_COPYDATA synchronously, also to a window of another process
// of the same user. Windows belong to one "desktop": by default the user's
// own, or the one named by the CALYRA_DESKTOP environment variable (tests use
// a private desktop so they cannot disturb each other); the variable is read
// at every call. Handles are process-wide values, one per desktop and title,
// and stay valid for the process's life (a window reopened with the same
// title has the same handle again); nothing handed out needs freeing. All
// calls are thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
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
// lpClassName must be NULL (any class; windows have no class here, so a
// class name never matches). The title must match exactly, case included.
// NULL when no window has that title on the current desktop.
HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
// Whether hWnd came from FindWindowW and its window exists now.
BOOL IsWindow(HWND hWnd);
// Only WM_COPYDATA is delivered (lParam points to a COPYDATASTRUCT, at most
// 16 MiB of data); it returns the receiver's result, and 0 for other
// messages, bad arguments, a window that is gone or a failed transfer. It
// blocks until the receiver has handled the message, but at most 30 seconds
// (Win32 would wait forever; a hung receiver must not hang every tracing
// client). Sent from a window's own handler to that window, the handler is
// called directly.
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
}
#endif  // _WIN32

namespace calyra {

// A top-level window owned by this process that receives WM_COPYDATA,
// from this process or any other of the same user (others are ignored).
// The handler runs on the window's own thread, one message at a time; the
// data pointer is valid only during the call. A handler that throws answers
// 0. Destroying the window waits for a running handler, stops delivery and
// joins its thread (so it must not happen inside the handler); the title is
// free again at once. A child forked from the owner does not inherit the
// window, and destroying the child's copy does not affect the owner's.
class MessageWindow {
public:
    using Handler = std::function<LRESULT(const COPYDATASTRUCT&)>;
    // Throws std::runtime_error when a window of that title already exists
    // on the desktop or the window cannot be created, std::invalid_argument
    // for an empty handler or a title containing a NUL.
    MessageWindow(const std::u16string& title, Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace calyra
