// FuzzInput: takes typed values off the front of a fuzzer's bytes, so one
// input can drive a sequence of operations. Running out gives zeros and
// empty texts, never a read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace calyra::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_size == 0; }

    template <class T>
    T Take() {
        T value{};
        std::size_t n = m_size < sizeof(T) ? m_size : sizeof(T);
        if (n) std::memcpy(&value, m_data, n);
        m_data += n;
        m_size -= n;
        return value;
    }

    // Up to `maxUnits` UTF-16 units (two bytes each); the length comes
    // first, one byte.
    std::u16string TakeText(std::size_t maxUnits) {
        std::size_t units = Take<std::uint8_t>() % (maxUnits + 1);
        std::u16string text;
        for (std::size_t i = 0; i < units && m_size > 0; ++i) text.push_back(Take<char16_t>());
        return text;
    }

    // Everything left, as UTF-16 units.
    std::u16string RestAsText() {
        std::u16string text;
        while (m_size >= 2) text.push_back(Take<char16_t>());
        m_size = 0;
        return text;
    }

    // The first half of what is left, as an input of its own.
    FuzzInput TakeHalf() {
        FuzzInput half(m_data, m_size / 2);
        m_data += half.m_size;
        m_size -= half.m_size;
        return half;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

}  // namespace calyra::fuzz
