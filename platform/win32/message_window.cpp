// MessageWindow on Windows: a real top-level window, invisible, created and
// served by a thread of its own.
#include <future>
#include <stdexcept>
#include <thread>

#include "platform/system/window.h"

namespace calyra {
namespace {

constexpr wchar_t kClassName[] = L"CalyraMessageWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* handler = reinterpret_cast<MessageWindow::Handler*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_COPYDATA:
            if (!handler || !lParam) return 0;
            try {
                return (*handler)(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            } catch (...) {
                return 0;
            }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

struct MessageWindow::Impl {
    Handler handler;
    HWND hwnd = nullptr;  // Constant after construction.
    std::thread thread;
};

MessageWindow::MessageWindow(const std::u16string& title, Handler handler) : m_impl(std::make_unique<Impl>()) {
    if (!handler) throw std::invalid_argument("MessageWindow needs a handler");
    if (title.find(u'\0') != std::u16string::npos) throw std::invalid_argument("window title contains a NUL");
    const std::wstring name(title.begin(), title.end());
    if (FindWindowW(nullptr, name.c_str())) throw std::runtime_error("a window of that title exists");
    m_impl->handler = std::move(handler);

    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    m_impl->thread = std::thread([this, name, &created] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        RegisterClassW(&wc);  // fails harmlessly when another window registered it
        HWND hwnd = CreateWindowExW(0, kClassName, name.c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
        if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_impl->handler));
        created.set_value(hwnd);
        if (!hwnd) return;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    m_impl->hwnd = window.get();
    if (!m_impl->hwnd) {
        m_impl->thread.join();
        throw std::runtime_error("the window cannot be created");
    }
}

MessageWindow::~MessageWindow() {
    PostMessageW(m_impl->hwnd, WM_CLOSE, 0, 0);
    m_impl->thread.join();
}

}  // namespace calyra
