#pragma once
// The fuzzers' input read as a small script: single bytes for choices, and pieces cut by a
// length byte. Reading past the end gives zeros and empty pieces, so every input is a script.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// An invariant that must hold whatever the input; a breach is a finding.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__,           \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, std::size_t size) : m_Data(data), m_Size(size) {}

    bool Empty() const { return m_Pos >= m_Size; }
    uint8_t Byte() { return Empty() ? 0 : m_Data[m_Pos++]; }
    // As many bytes as the next byte says, fewer at the end.
    std::string Piece() { return Take(Byte()); }
    std::string Rest() { return Take(m_Size - m_Pos); }
    std::string Take(std::size_t count) {
        const std::size_t n = count < m_Size - m_Pos ? count : m_Size - m_Pos;
        std::string text(reinterpret_cast<const char*>(m_Data + m_Pos), n);
        m_Pos += n;
        return text;
    }

private:
    const uint8_t* m_Data;
    std::size_t m_Size;
    std::size_t m_Pos = 0;
};
