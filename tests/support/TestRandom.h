// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers for the randomised tests: the same sequence from a seed on every
// platform, so that a failing seed can be run again anywhere.
#pragma once

#include <cstdint>
#include <initializer_list>

// splitmix64: the same numbers from a seed on every platform.
class CRandom {
public:
  explicit CRandom(uint64_t seed) : m_state(seed) {}
  uint64_t Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Returns a number from 0 to n - 1, 0 when n is 0.
  uint64_t Below(uint64_t n) { return n ? Next() % n : 0; }
  // Returns true with a chance of percent in a hundred.
  bool Chance(uint64_t percent) { return Below(100) < percent; }
  template <class T>
  T Pick(std::initializer_list<T> choices) {
    return choices.begin()[Below(choices.size())];
  }

private:
  uint64_t m_state;
};
