// Windows found by title and WM_COPYDATA sent to them, within a process and
// across processes, as a trace receiver relies on. Concurrent senders are
// covered by the trace tests of core.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/posix/window_protocol.h"
#include "platform/system/window.h"
#include "support/trace_recorder.h"

namespace {

namespace wp = calyra::window_protocol;
using calyra::MessageWindow;
using Texts = std::vector<std::string>;
// Records what the "Receiver" window is sent.
using Inbox = calyra::test::TraceRecorder;

LRESULT Send(HWND hwnd, const std::string& bytes, ULONG_PTR dwData = 0) {
    COPYDATASTRUCT cds{dwData, static_cast<DWORD>(bytes.size()), const_cast<char*>(bytes.data())};
    return SendMessageW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}
LRESULT SendTo(const char16_t* title, const std::string& bytes) { return Send(FindWindowW(nullptr, title), bytes); }

// A message to no window, to a made-up handle, of another kind or with bad
// data returns 0 and reaches no handler.
TEST(Window, IsFoundByItsExactTitleOnlyWhileOpenAndRefusesBadMessages) {
    EXPECT_EQ(FindWindowW(nullptr, u"Receiver"), nullptr) << "found a window nobody opened";
    HWND first;
    {
        Inbox inbox;
        first = FindWindowW(nullptr, u"Receiver");
        ASSERT_NE(first, nullptr) << "an open window was not found";
        EXPECT_TRUE(IsWindow(first));
        for (const char16_t* title : {u"Receive", u"Receiver2", u"receiver", u" Receiver", u""})
            EXPECT_EQ(FindWindowW(nullptr, title), nullptr) << "found a window for a title that differs";
        try {
            MessageWindow second(u"Receiver", [](const COPYDATASTRUCT&) { return LRESULT{0}; });
            ADD_FAILURE() << "two windows titled Receiver were open on one desktop";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("already exists"), std::string::npos) << e.what();
        }

        HWND madeUp = reinterpret_cast<HWND>(uintptr_t{0x7654321});
        char byte = 'x';
        COPYDATASTRUCT good{0, 1, &byte}, noData{0, 1, nullptr}, tooLarge{0, wp::kMaxDataBytes + 1, &byte};
        const std::tuple<const char*, HWND, UINT, const COPYDATASTRUCT*> cases[] = {
            {"NULL window", nullptr, WM_COPYDATA, &good},
            {"made-up handle", madeUp, WM_COPYDATA, &good},
            {"another message", first, 0x000C /* WM_SETTEXT */, &good},
            {"NULL COPYDATASTRUCT", first, WM_COPYDATA, nullptr},
            {"cbData without lpData", first, WM_COPYDATA, &noData},
            {"more data than a message may carry", first, WM_COPYDATA, &tooLarge},
        };
        for (const auto& [what, hwnd, msg, cds] : cases)
            EXPECT_EQ(SendMessageW(hwnd, msg, 0, reinterpret_cast<LPARAM>(cds)), 0) << what;
        EXPECT_FALSE(IsWindow(nullptr));
        EXPECT_FALSE(IsWindow(madeUp));
        EXPECT_TRUE(inbox.texts().empty()) << "a refused message reached the window";
        EXPECT_EQ(SendTo(u"Receiver", "still here"), 1) << "the refused window or messages broke the first";
    }
    EXPECT_EQ(FindWindowW(nullptr, u"Receiver"), nullptr) << "a closed window was still found";
    EXPECT_FALSE(IsWindow(first)) << "the handle of a closed window still counted as a window";
    EXPECT_EQ(Send(first, "lost"), 0) << "sending to a closed window reported a result";
}

TEST(Window, MessageArrivesWithExactBytesDataAndResult) {
    std::string large(1 << 20, '\0');  // far beyond a socket buffer
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + (i >> 8));
    // The bytes and dwData sent, and the handler's result.
    const std::tuple<std::string, ULONG_PTR, LRESULT> cases[] = {
        {"", 0, 1},
        {"CPimDbAccess::OpenPimDatabase.[ENTER]", 0x5002, -1},
        {std::string("\0\x01\xff\n\r\0z", 7), ~ULONG_PTR{0}, INT64_MIN},
        {large, 42, 0},
    };
    for (const auto& [bytes, sentData, result] : cases) {
        DWORD cbData = 0xFFFFFFFF;
        std::string got;
        ULONG_PTR dwData = 0;
        MessageWindow window(u"Bytes", [&, answer = result](const COPYDATASTRUCT& cds) {
            cbData = cds.cbData;
            dwData = cds.dwData;
            got.assign(static_cast<const char*>(cds.lpData), cds.cbData);
            return answer;
        });
        EXPECT_EQ(Send(FindWindowW(nullptr, u"Bytes"), bytes, sentData), result)
            << "the sender got another result than the handler returned";
        EXPECT_EQ(cbData, bytes.size()) << "cbData changed on the way";
        EXPECT_EQ(dwData, sentData);
        EXPECT_TRUE(got == bytes) << "the data of " << bytes.size() << " bytes changed on the way";
    }
}

TEST(Window, AnotherProcessSendsToTheWindow) {
    Inbox inbox(42);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HWND hwnd = FindWindowW(nullptr, u"Receiver");
        _exit(!hwnd ? 2 : !IsWindow(hwnd) ? 3 : Send(hwnd, "pid " + std::to_string(getpid()), 9) != 42 ? 4 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "child process: 2 window not found, 3 not a window, 4 wrong result; got status " << status;
    EXPECT_EQ(inbox.texts(), Texts{"pid " + std::to_string(child)});
    EXPECT_EQ(inbox.dwData(), std::vector<ULONG_PTR>{9});
}

size_t OpenDescriptors() {
    auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

TEST(Window, LookUpsSendsAndWindowsLeaveNoDescriptorsBehind) {
    FindWindowW(nullptr, u"Receiver");  // this thread's look-up socket, kept for the thread's life
    size_t before = OpenDescriptors();
    for (int round = 0; round < 3; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([] {
                for (int i = 0; i < 20; ++i) FindWindowW(nullptr, u"Receiver");  // none there
            });
        for (auto& t : threads) t.join();
        Inbox inbox;
        threads.clear();
        for (int t = 0; t < 4; ++t) threads.emplace_back([] { SendTo(u"Receiver", "x"); });
        for (auto& t : threads) t.join();
        EXPECT_EQ(inbox.texts().size(), 4u);
    }
    EXPECT_EQ(OpenDescriptors(), before) << "descriptors leaked";
}

// A raw peer that speaks the wire format badly. Returns whether the window
// answered anything; it must close the connection without a word (a timeout
// counts as an answer, so a window that hangs on to the peer fails too).
bool WindowAnswersRawBytes(const std::string& bytes, bool closeAfterSending) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    wp::SocketAddress address = wp::AbstractAddress(wp::WindowName(geteuid(), wp::CurrentDesktop(), u"Receiver"));
    timeval timeout{20, 0};  // a window that never closes fails the test instead of hanging it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address.addr), address.length) != 0) {
        close(fd);
        throw std::runtime_error("connect failed");
    }
    if (!bytes.empty()) send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (closeAfterSending) shutdown(fd, SHUT_WR);
    char reply[8];
    ssize_t n = recv(fd, reply, sizeof(reply), 0);
    bool timedOut = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    close(fd);
    return timedOut || n > 0;  // a reset (unread bytes left behind) is a silent close too
}

std::string HeaderBytes(std::uint32_t magic, std::uint32_t message, std::uint32_t cbData) {
    wp::MessageHeader header{};
    header.magic = magic;
    header.message = message;
    header.cbData = cbData;
    return std::string(reinterpret_cast<const char*>(&header), sizeof(header));
}

TEST(Window, MalformedPeersAreDroppedWithoutHarm) {
    Inbox inbox;
    const struct {
        const char* what;
        std::string bytes;
        bool closeAfterSending;
    } cases[] = {
        {"a partial header", "CLY", true},
        {"a wrong magic", HeaderBytes(0x12345678, WM_COPYDATA, 4) + "data", false},
        {"4 GiB of data announced", HeaderBytes(wp::kMagic, WM_COPYDATA, 0xFFFFFFFF), false},
        {"one byte over the limit, sent in full",
         HeaderBytes(wp::kMagic, WM_COPYDATA, wp::kMaxDataBytes + 1) + std::string(wp::kMaxDataBytes + 1, 'x'), true},
        {"fewer bytes than announced", HeaderBytes(wp::kMagic, WM_COPYDATA, 100) + "only ten..", true},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(WindowAnswersRawBytes(c.bytes, c.closeAfterSending)) << "the window answered " << c.what;
    EXPECT_EQ(SendTo(u"Receiver", "fine"), 1) << "the window stopped after malformed peers";
    EXPECT_EQ(inbox.texts(), Texts{"fine"}) << "a malformed message reached the handler";
}

}  // namespace
