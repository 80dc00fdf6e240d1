// Numbers drawn from a seed by splitmix64: fully defined by its arithmetic, so every build of the
// replay program draws the same ones.
#pragma once

#include <cstdint>

namespace differential {

class SeededRandom {
public:
    // `salt` keeps two generators of one seed apart.
    SeededRandom(uint64_t salt, uint32_t seed) : m_state(salt ^ seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    bool Percent(int p) { return Below(100) < p; }
    template <typename T, int N>
    const T& Pick(const T (&items)[N])
    {
        return items[Below(N)];
    }

private:
    uint64_t m_state;
};

}  // namespace differential
