// Window socket names.
#include "platform/posix/window_protocol.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace calyra::window_protocol {
namespace {

constexpr std::string_view kPrefix = "calyra-window/";
constexpr char kHex[] = "0123456789abcdef";

// The longest abstract name a socket address holds: sun_path less the
// leading NUL that marks the abstract namespace.
constexpr size_t kMaxNameBytes = sizeof(sockaddr_un::sun_path) - 1;

void AppendHex(std::string& out, unsigned value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

// FNV-1a, 128-bit: collisions between real titles are out of the question,
// and names of different users cannot meet because the user ID stays readable.
class Fnv128 {
public:
    void Add(unsigned char byte) {
        m_hash ^= byte;
        m_hash *= kPrime;
    }
    void AppendTo(std::string& out) const {
        for (int shift = 124; shift >= 0; shift -= 4) out += kHex[static_cast<unsigned>(m_hash >> shift) & 0xF];
    }

private:
    static constexpr unsigned __int128 kPrime = (static_cast<unsigned __int128>(1) << 88) + 0x13B;
    unsigned __int128 m_hash = (static_cast<unsigned __int128>(0x6c62272e07bb0142ULL) << 64) | 0x62b821756295c58dULL;
};

}  // namespace

std::string CurrentDesktop() {
    const char* desktop = std::getenv("CALYRA_DESKTOP");
    return desktop && *desktop ? std::string(desktop) : std::string("default");
}

std::string WindowName(unsigned uid, std::string_view desktop, std::u16string_view title) {
    std::string name(kPrefix);
    name += std::to_string(uid);
    name += '/';
    // Readable form: desktop bytes as they are, then four hex digits per
    // title unit, so any title (even one with '/' or odd surrogates) maps to
    // exactly one name. It always has two more '/' after the user ID.
    if (name.size() + desktop.size() + 1 + 4 * title.size() <= kMaxNameBytes) {
        name += desktop;
        name += '/';
        for (char16_t unit : title) AppendHex(name, unit, 4);
        return name;
    }
    // Hashed form: "#" and 32 hex digits, with no further '/'.
    Fnv128 hash;
    for (char c : desktop) hash.Add(static_cast<unsigned char>(c));
    hash.Add(0);  // the desktop cannot contain a NUL, so this separates it from the title
    for (char16_t unit : title) {
        hash.Add(static_cast<unsigned char>(unit & 0xFF));
        hash.Add(static_cast<unsigned char>(unit >> 8));
    }
    name += '#';
    hash.AppendTo(name);
    return name;
}

SocketAddress AbstractAddress(std::string_view name) {
    SocketAddress result;
    std::memset(&result.addr, 0, sizeof(result.addr));
    result.addr.sun_family = AF_UNIX;
    // sun_path[0] stays NUL: the abstract namespace.
    size_t n = name.size() < kMaxNameBytes ? name.size() : kMaxNameBytes;
    std::memcpy(result.addr.sun_path + 1, name.data(), n);
    result.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    return result;
}

}  // namespace calyra::window_protocol
