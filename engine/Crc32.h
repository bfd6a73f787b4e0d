// SPDX-License-Identifier: GPL-3.0-or-later
// CRC-32 (ISO-HDLC / IEEE 802.3, reflected polynomial 0xEDB88320) of the bytes Ferrox copies.
// All functions work on the raw register: callers start from 0xFFFFFFFF, feed any number of
// pieces in order and complement the register at the end. The register after a sequence of
// updates depends only on the concatenated bytes, never on how they were split.
#pragma once

#include <cstdint>

// The interchangeable implementations behind CrcUpdate. They give identical registers.
enum class CrcImpl {
  kBytewise,  // One table look-up per byte: the reference definition.
  kSlicing,   // Slice-by-16: sixteen table look-ups per 16 bytes, portable.
  kPclmul,    // Carry-less multiplication folding with PCLMULQDQ on 128-bit registers (x86-64).
  kVpclmul,   // The same folding with VPCLMULQDQ on 512-bit registers (x86-64 with AVX-512).
};

// Returns the CRC-32 register after feeding it the length bytes at data, without inversion:
// the callers start from 0xFFFFFFFF and complement at the end. A length of 0 returns crc
// unchanged (data may then be null). Uses the fastest implementation this CPU supports,
// chosen once on the first call; safe to call from several threads at once.
uint32_t CrcUpdate(uint32_t crc, const void* data, uint64_t length);

// Returns the register after feeding it the length bytes at data one byte at a time:
// crc = (crc >> 8) ^ CrcTable()[(byte ^ crc) & 0xFF]. This is the reference the other
// implementations are checked against. A length of 0 returns crc unchanged.
uint32_t CrcUpdateBytewise(uint32_t crc, const void* data, uint64_t length);

// Returns the 256-entry table of the bytewise update: entry i is i shifted right by one bit
// eight times, with 0xEDB88320 XOR-ed in whenever the bit shifted out was 1. The table is
// constant and lives for the whole program.
const uint32_t* CrcTable();

// Returns true when impl can run on this CPU in this build. kBytewise and kSlicing always can.
bool CrcImplAvailable(CrcImpl impl);

// Returns the same register as CrcUpdate, computed with impl. When impl is not available
// (see CrcImplAvailable) the portable kSlicing implementation is used instead. For tests and
// benchmarks; other code calls CrcUpdate.
uint32_t CrcUpdateWith(CrcImpl impl, uint32_t crc, const void* data, uint64_t length);

// Returns the implementation CrcUpdate uses on this CPU.
CrcImpl CrcChosenImpl();
