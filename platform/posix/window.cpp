// The windowing stand-in: a window is a listening abstract Unix socket (see
// window_protocol.h), a sent message is one connection to it, and a handle is
// an index into a process-wide table of window names.
#include "platform/system/window.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/bstr.h"
#include "platform/posix/window_protocol.h"

namespace calyra {
namespace {

namespace wp = window_protocol;
using Clock = std::chrono::steady_clock;

// How long a sender waits, all told, for a window to take its message,
// handle it and answer. Windows' SendMessage waits forever; here texts are
// sent while callers hold object locks, so a stopped or hung receiver must
// not stall a client for good: after this the sender gives up and gets 0.
constexpr auto kSendTimeout = std::chrono::seconds(30);

// How long a window waits for the rest of a message once it took the
// connection. Senders write the whole message at once, so only a stopped or
// broken peer runs into this; it must not keep the window from other senders.
constexpr auto kReceiveTimeout = std::chrono::seconds(10);

// Owns one file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Waits until fd is ready for events (or reports an error or hang-up, which
// the next read or write then sees). False on timeout, on a signal through
// stopFd (ignored when negative) and when poll itself fails.
bool WaitFor(int fd, short events, Clock::time_point deadline, int stopFd) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};  // a negative fd is skipped
        int rc = ::poll(fds, 2, left > INT_MAX ? INT_MAX : static_cast<int>(left));
        if (rc < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (rc == 0) continue;  // the deadline check above ends the wait
        if (fds[1].revents) return false;
        return true;
    }
}

enum class ReadResult {
    kComplete,
    kClosedAtStart,  // the peer closed before sending a single byte
    kFailed,         // error, timeout, stop, or the peer closed part-way
};

ReadResult ReadFull(int fd, void* data, size_t size, Clock::time_point deadline, int stopFd) {
    char* bytes = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::recv(fd, bytes + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            return done == 0 ? ReadResult::kClosedAtStart : ReadResult::kFailed;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return ReadResult::kFailed;
        } else if (!WaitFor(fd, POLLIN, deadline, stopFd)) {
            return ReadResult::kFailed;
        }
    }
    return ReadResult::kComplete;
}

bool WriteFull(int fd, const void* data, size_t size, Clock::time_point deadline) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        // MSG_NOSIGNAL: a window that went away is a failed send, not SIGPIPE.
        ssize_t n = ::send(fd, bytes + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            done += static_cast<size_t>(n);
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        } else if (!WaitFor(fd, POLLOUT, deadline, -1)) {
            return false;
        }
    }
    return true;
}

// Whether the process at the other end runs as our user. Abstract socket
// names carry no permissions, so both ends check: a window ignores other
// users' senders, and a sender does not hand texts to another user's socket
// that took a name of ours.
bool PeerIsThisUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || length != sizeof(peer)) return false;
    return peer.uid == ::geteuid();
}

// Each thread keeps one unconnected socket for look-ups: a connect that
// finds no window leaves it unconnected and reusable, so a trace text with
// no receiver costs that one connect call. Dropped once it connects. A plain
// int, valid to the thread's very end: after the thread's destructors closed
// it (traces from static destructors at exit), look-ups use a socket each.
constexpr int kNoLookUpSocket = -1;
constexpr int kThreadEnding = -2;
thread_local int t_lookUpSocket = kNoLookUpSocket;

struct LookUpSocketCloser {
    ~LookUpSocketCloser() {
        if (t_lookUpSocket >= 0) ::close(t_lookUpSocket);
        t_lookUpSocket = kThreadEnding;
    }
};

// A window's state below its public face.
struct WindowCore {
    std::string name;                // Constant after construction.
    MessageWindow::Handler handler;  // Constant after construction; called on the window's thread only.
    // The two descriptors are constant after construction, except in a
    // forked child, where the fork handler closes them before the child runs.
    Fd listener;              // the window itself; closing it frees the name
    Fd stop;                  // an eventfd the destructor signals to end the thread
    bool forkedCopy = false;  // set only in a forked child, which has no window thread

    // A handler that throws must not end the process from the window thread;
    // the sender sees 0, as for a message that was not handled.
    LRESULT Call(const COPYDATASTRUCT& cds) const noexcept {
        try {
            return handler(cds);
        } catch (...) {
            return 0;
        }
    }
};

// The windows this process owns. A window belongs to the process that
// created it: a child forked without exec must not keep the name bound
// (senders would queue on a socket nobody serves) nor stop the parent's
// thread when it destroys its copy. So the child closes both descriptors of
// every window as it starts, and a destructor running in it only lets go.
struct OwnedWindows {
    std::mutex mutex;                  // Held from fork's prepare step to its parent/child step.
    std::vector<WindowCore*> windows;  // Guarded by mutex.
};

OwnedWindows& Owned() {
    static OwnedWindows* owned = [] {
        auto* created = new OwnedWindows;  // never destroyed, like the handle table
        ::pthread_atfork([] { Owned().mutex.lock(); }, [] { Owned().mutex.unlock(); },
                         [] {
                             // Only this thread exists in the child now. Its
                             // look-up socket is shared with the parent's thread.
                             if (t_lookUpSocket >= 0) {
                                 ::close(t_lookUpSocket);
                                 t_lookUpSocket = kNoLookUpSocket;
                             }
                             OwnedWindows& o = Owned();
                             for (WindowCore* window : o.windows) {
                                 window->listener = Fd();
                                 window->stop = Fd();
                                 window->forkedCopy = true;
                             }
                             o.windows.clear();
                             o.mutex.unlock();
                         });
        return created;
    }();
    return *owned;
}

// Creates the window's descriptors; under the lock, so that a fork sees
// either none of them or a window its child handler knows to close. False
// (errno set) when a descriptor cannot be created.
bool Own(WindowCore* window) {
    OwnedWindows& o = Owned();
    std::lock_guard lock(o.mutex);
    o.windows.reserve(o.windows.size() + 1);  // may throw; nothing created yet
    window->listener = Fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!window->listener) return false;
    window->stop = Fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!window->stop) return false;
    o.windows.push_back(window);
    return true;
}

// Closes the window's descriptors; under the lock, so that no fork can
// happen between forgetting the window and freeing its name.
void Disown(WindowCore* window) {
    OwnedWindows& o = Owned();
    std::lock_guard lock(o.mutex);
    o.windows.erase(std::remove(o.windows.begin(), o.windows.end(), window), o.windows.end());
    window->listener = Fd();
    window->stop = Fd();
}

std::string NameOfWindow(LPCWSTR title) {
    return wp::WindowName(::geteuid(), wp::CurrentDesktop(), std::u16string_view(title));
}

// Whether a window of that name exists: one non-blocking connect; a
// successful one is closed at once (the window takes such a connection as a
// look-up). This is the whole cost of a trace text when no receiver exists.
bool WindowExists(const std::string& name) {
    Owned();  // installs the fork handlers that keep look-up sockets per process
    const bool reusable = t_lookUpSocket != kThreadEnding;
    int fd = t_lookUpSocket;
    if (fd < 0) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return false;
        if (reusable) {
            thread_local LookUpSocketCloser closer;  // closes it when the thread ends
            t_lookUpSocket = fd;
        }
    }
    auto drop = [&] {
        ::close(fd);
        if (reusable) t_lookUpSocket = kNoLookUpSocket;
    };
    wp::SocketAddress address = wp::AbstractAddress(name);
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        bool ours = PeerIsThisUser(fd);
        drop();
        return ours;
    }
    int error = errno;
    // No window (ECONNREFUSED) and a busy one (EAGAIN) leave the socket
    // unconnected; after anything else start afresh next time.
    if (!reusable || (error != ECONNREFUSED && error != EAGAIN)) drop();
    // A full backlog: the window exists but is busy; its owner is checked
    // when a message is actually sent.
    return error == EAGAIN;
}

// Connects a blocking socket; the wait for room in a busy window's backlog
// is bounded by the deadline.
bool ConnectBefore(int fd, const std::string& name, Clock::time_point deadline) {
    wp::SocketAddress address = wp::AbstractAddress(name);
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        timeval timeout{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
        if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout)) != 0) return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length) == 0) return true;
        // A Unix socket connect interrupted while waiting for room has not
        // connected yet, so trying again is safe.
        if (errno == EISCONN) return true;
        if (errno != EINTR) return false;
    }
}

// Every window name this process has handed a handle for. Handles are
// indexes + 1, never reused or freed, so a stale or made-up HWND is simply
// out of range or names a window that no longer exists.
struct HandleTable {
    std::mutex mutex;
    std::deque<std::string> names;                    // Guarded by mutex; index = handle - 1.
    std::unordered_map<std::string, size_t> indexes;  // Guarded by mutex.
};

HandleTable& Handles() {
    // Never destroyed: traces may be sent from other objects' static destructors.
    static HandleTable* table = new HandleTable;
    return *table;
}

HWND HandleFor(const std::string& name) {
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    auto [it, added] = table.indexes.try_emplace(name, table.names.size());
    if (added) table.names.push_back(name);
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(it->second + 1));
}

bool NameForHandle(HWND hWnd, std::string* name) {
    auto value = reinterpret_cast<uintptr_t>(hWnd);
    HandleTable& table = Handles();
    std::lock_guard lock(table.mutex);
    if (value == 0 || value > table.names.size()) return false;
    *name = table.names[value - 1];
    return true;
}

// The window whose messages the current thread is handling, if any. A
// handler that sends to its own window gets a direct call, as a Windows
// window procedure would, instead of waiting on itself until the timeout.
thread_local const WindowCore* t_servedWindow = nullptr;

LRESULT SendCopyData(const std::string& name, WPARAM wParam, const COPYDATASTRUCT& cds) {
    if (t_servedWindow && t_servedWindow->name == name) return t_servedWindow->Call(cds);

    Clock::time_point deadline = Clock::now() + kSendTimeout;
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd || !ConnectBefore(fd.get(), name, deadline) || !PeerIsThisUser(fd.get())) return 0;

    wp::MessageHeader header{};
    header.magic = wp::kMagic;
    header.message = WM_COPYDATA;
    header.wParam = wParam;
    header.dwData = cds.dwData;
    header.cbData = cds.cbData;
    if (!WriteFull(fd.get(), &header, sizeof(header), deadline)) return 0;
    if (!WriteFull(fd.get(), cds.lpData, cds.cbData, deadline)) return 0;
    wp::Reply reply = 0;
    if (ReadFull(fd.get(), &reply, sizeof(reply), deadline, -1) != ReadResult::kComplete) return 0;
    return static_cast<LRESULT>(reply);
}

}  // namespace

struct MessageWindow::Impl : WindowCore {
    std::thread thread;

    // After the thread was joined, or when construction failed half-way.
    ~Impl() { Disown(this); }

    void Run();
    void Serve(int connection);
};

MessageWindow::MessageWindow(const std::u16string& title, Handler handler) : m_impl(std::make_unique<Impl>()) {
    if (!handler) throw std::invalid_argument("a message window needs a handler");
    // FindWindowW takes a NUL-terminated title and could never find this one.
    if (title.find(u'\0') != std::u16string::npos)
        throw std::invalid_argument("a window title cannot contain a NUL character");

    std::string desktop = wp::CurrentDesktop();
    std::string what = "window \"" + Utf16ToUtf8(title) + "\" on desktop \"" + desktop + "\"";
    m_impl->name = wp::WindowName(::geteuid(), desktop, title);
    m_impl->handler = std::move(handler);

    if (!Own(m_impl.get())) throw std::runtime_error("cannot create " + what + ": " + std::strerror(errno));
    wp::SocketAddress address = wp::AbstractAddress(m_impl->name);
    if (::bind(m_impl->listener.get(), reinterpret_cast<const sockaddr*>(&address.addr), address.length) != 0) {
        if (errno == EADDRINUSE) throw std::runtime_error("a " + what + " already exists");
        throw std::runtime_error("cannot create " + what + ": " + std::strerror(errno));
    }
    if (::listen(m_impl->listener.get(), SOMAXCONN) != 0)
        throw std::runtime_error("cannot create " + what + ": " + std::strerror(errno));
    // std::system_error, when the thread cannot start, is a runtime_error too.
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->Run(); });
}

MessageWindow::~MessageWindow() {
    if (m_impl->forkedCopy) {
        // A forked child's copy: its thread runs only in the parent, so
        // there is nothing to stop or join, and the std::thread must not be
        // destroyed while it looks joinable.
        (void)m_impl.release();
        return;
    }
    std::uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(m_impl->stop.get(), &one, sizeof(one));
    } while (written < 0 && errno == EINTR);
    // The counter cannot overflow from one write, so the thread sees the stop.
    m_impl->thread.join();
    // The listener closes with m_impl: the name is free again at once, and
    // senders still queued in the backlog see a connection reset and get 0.
}

void MessageWindow::Impl::Run() {
    t_servedWindow = this;
    for (;;) {
        pollfd fds[2] = {{listener.get(), POLLIN, 0}, {stop.get(), POLLIN, 0}};
        int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno != EINTR) {
            // Out of memory for poll: try again a little later.
            ::poll(&fds[1], 1, 100);
        }
        if (rc <= 0) continue;
        if (fds[1].revents) break;
        if (fds[0].revents & (POLLERR | POLLNVAL)) break;  // cannot happen to a listening socket we own
        Fd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!connection) {
            // Out of descriptors or memory: the connection stays queued; wait
            // rather than spin, but stay stoppable.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) ::poll(&fds[1], 1, 100);
            continue;
        }
        Serve(connection.get());
    }
    t_servedWindow = nullptr;
}

// One connection: a look-up (closed without data), a message, or something
// to drop. Nothing a peer sends can make the window allocate more than
// kMaxDataBytes or stop serving others for longer than kReceiveTimeout.
void MessageWindow::Impl::Serve(int connection) {
    if (!PeerIsThisUser(connection)) return;
    Clock::time_point deadline = Clock::now() + kReceiveTimeout;
    wp::MessageHeader header;
    if (ReadFull(connection, &header, sizeof(header), deadline, stop.get()) != ReadResult::kComplete) return;
    if (header.magic != wp::kMagic || header.message != WM_COPYDATA || header.cbData > wp::kMaxDataBytes) return;

    // One byte more, always NUL: a handler that wrongly reads the data as a
    // C string stops inside the buffer. cbData does not count it.
    std::unique_ptr<char[]> data(new (std::nothrow) char[header.cbData + 1]);
    if (!data) return;
    if (ReadFull(connection, data.get(), header.cbData, deadline, stop.get()) != ReadResult::kComplete) return;
    data[header.cbData] = '\0';

    COPYDATASTRUCT cds;
    cds.dwData = static_cast<ULONG_PTR>(header.dwData);
    cds.cbData = header.cbData;
    cds.lpData = data.get();
    wp::Reply reply = Call(cds);
    WriteFull(connection, &reply, sizeof(reply), Clock::now() + kReceiveTimeout);
}

}  // namespace calyra

extern "C" HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    // Windows are not classed here; a class name could never match.
    if (lpClassName || !lpWindowName) return nullptr;
    std::string name = calyra::NameOfWindow(lpWindowName);
    if (!calyra::WindowExists(name)) return nullptr;
    return calyra::HandleFor(name);
}

extern "C" BOOL IsWindow(HWND hWnd) {
    std::string name;
    return calyra::NameForHandle(hWnd, &name) && calyra::WindowExists(name) ? TRUE : FALSE;
}

extern "C" LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg != WM_COPYDATA) return 0;
    std::string name;
    if (!calyra::NameForHandle(hWnd, &name)) return 0;
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!cds || cds->cbData > calyra::window_protocol::kMaxDataBytes) return 0;
    if (cds->cbData != 0 && !cds->lpData) return 0;
    return calyra::SendCopyData(name, wParam, *cds);
}
