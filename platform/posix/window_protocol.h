// How a window and its senders meet: the socket name of a window and the
// bytes of one sent message. Private to the windowing stand-in (window.cpp)
// and its tests; clients use platform/window.h.
//
// A window is a listening Unix stream socket in the abstract namespace, so it
// needs no file and vanishes with the process that owns it. Its name carries
// the owner's user ID, the desktop and the title. A sender connects, writes
// one MessageHeader and cbData bytes, and reads back one Reply; a connection
// that closes without writing anything is a look-up and gets no answer.
// Everything here is plain data and pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <sys/socket.h>
#include <sys/un.h>

namespace calyra::window_protocol {

// Frozen: the layout senders and windows of different builds exchange.
constexpr std::uint32_t kMagic = 0x57594C43;  // "CLYW" in memory order

struct MessageHeader {
    std::uint32_t magic;    // kMagic; anything else is not one of our senders
    std::uint32_t message;  // only WM_COPYDATA is delivered
    std::uint64_t wParam;
    std::uint64_t dwData;
    std::uint32_t cbData;    // number of data bytes that follow the header
    std::uint32_t reserved;  // 0
};
static_assert(sizeof(MessageHeader) == 32);

// The window's answer: the handler's LRESULT, in the machine's byte order.
using Reply = std::int64_t;

// The most data one message may carry. A window never allocates more for a
// peer, and a sender refuses to send more.
constexpr std::uint32_t kMaxDataBytes = 16u << 20;

// The desktop windows of this process live on: CALYRA_DESKTOP when set and
// not empty, otherwise "default". Read on every call.
std::string CurrentDesktop();

// The abstract socket name (without its leading NUL byte) of the window with
// this title on this desktop, for user uid. Readable while it fits a socket
// address; a long desktop or title gives a name built from a 128-bit hash of
// both instead, which cannot equal any readable name.
std::string WindowName(unsigned uid, std::string_view desktop, std::u16string_view title);

// A socket address for an abstract name as WindowName returns it.
struct SocketAddress {
    sockaddr_un addr;
    socklen_t length;
};
SocketAddress AbstractAddress(std::string_view name);

}  // namespace calyra::window_protocol
