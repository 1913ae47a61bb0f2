// What both InterprocessLock implementations (the flock file here, the named
// mutex on Windows) share: how a lock's name becomes the short, safe name of
// the system object behind it. Internal to the two implementations; a pure
// function, safe from any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace calyra {

// 64-bit FNV-1a over the name's UTF-16 units: names of any length and
// content become a short file or object name. FROZEN: two builds that hash
// one name differently would not exclude each other.
inline std::uint64_t InterprocessLockNameHash(std::u16string_view name) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char16_t unit : name) {
        h ^= static_cast<std::uint64_t>(unit);
        h *= 0x100000001b3ULL;
    }
    return h;
}

}  // namespace calyra
