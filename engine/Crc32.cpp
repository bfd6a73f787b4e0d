// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Crc32.h"

#include <array>
#include <cstddef>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// kTables[k][i] is the register change caused by byte i followed by k zero bytes; kTables[0] is the
// bytewise table. Slice-by-16 looks up each byte of a 16-byte block in the table of its distance to
// the end of the block.
using CrcTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t entry = i;
    for (int bit = 0; bit < 8; ++bit) entry = (entry & 1u) != 0 ? (entry >> 1) ^ kPolynomial : entry >> 1;
    tables[0][i] = entry;
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (size_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFFu];
    }
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u);
static_assert(kTables[0][255] == 0x2D02EF8Du);

uint32_t BytewiseUpdate(uint32_t crc, const unsigned char* bytes, uint64_t length) {
  for (uint64_t i = 0; i < length; ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ bytes[i]) & 0xFFu];
  return crc;
}

// Returns the four bytes at bytes as a little-endian number, whatever the byte order of the CPU.
inline uint32_t Load32Le(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint32_t SlicingUpdate(uint32_t crc, const unsigned char* bytes, uint64_t length) {
  const CrcTables& t = kTables;
  while (length >= 16) {
    const uint32_t w0 = Load32Le(bytes) ^ crc;
    const uint32_t w1 = Load32Le(bytes + 4);
    const uint32_t w2 = Load32Le(bytes + 8);
    const uint32_t w3 = Load32Le(bytes + 12);
    crc = t[15][w0 & 0xFFu] ^ t[14][(w0 >> 8) & 0xFFu] ^ t[13][(w0 >> 16) & 0xFFu] ^ t[12][w0 >> 24] ^
          t[11][w1 & 0xFFu] ^ t[10][(w1 >> 8) & 0xFFu] ^ t[9][(w1 >> 16) & 0xFFu] ^ t[8][w1 >> 24] ^
          t[7][w2 & 0xFFu] ^ t[6][(w2 >> 8) & 0xFFu] ^ t[5][(w2 >> 16) & 0xFFu] ^ t[4][w2 >> 24] ^
          t[3][w3 & 0xFFu] ^ t[2][(w3 >> 8) & 0xFFu] ^ t[1][(w3 >> 16) & 0xFFu] ^ t[0][w3 >> 24];
    bytes += 16;
    length -= 16;
  }
  return BytewiseUpdate(crc, bytes, length);
}

#if defined(__x86_64__)

// Carry-less multiplication folding.
//
// Notation. A 128-bit register loaded from 16 message bytes holds a polynomial over GF(2) with the
// bits reflected, like the CRC register itself: bit k (bit k % 8 of byte k / 8) is the coefficient
// of x^(127 - k). Its low 64-bit half H comes first in the message, so the register is H * x^64 + L.
// A 64-bit operand likewise has bit j as the coefficient of x^(63 - j). With that reading,
// PCLMULQDQ of two 64-bit operands A and B yields the 128-bit register x * A * B: the reflected
// product is one bit short of 128, which the constants below absorb.
//
// With the register 0 the CRC of a message M is M * x^32 mod P, reflected; a starting register c
// is the same as XOR-ing c into the first four message bytes. So a block V that is followed by D
// more bits of message can be replaced by any W with W = V * x^D (mod P), XOR-ed into the block D
// bits further on:
//   V * x^D = H * x^(64 + D) + L * x^D = x * H * K1 + x * L * K2 (mod P)
// with K1 = x^(D + 63) mod P and K2 = x^(D - 1) mod P. Each product has degree below 128.
//
// Constant derivation. XPowModP(n) below is x^n mod P with the reflected bit order of the CRC
// register (bit 31 - d is the coefficient of x^d). A 32-bit value r in the low half of a 64-bit
// operand stands for x^32 times the polynomial it reflects, so folding by D bits takes
//   first  = XPowModP(D + 31)   (stands for x^32 * (x^(D + 31) mod P), congruent to K1)
//   second = XPowModP(D - 33)   (stands for x^32 * (x^(D - 33) mod P), congruent to K2).
// The literal values were computed once with a short script doing that same bit loop, and the
// static_asserts recompute them at compile time.

constexpr uint32_t XPowModP(int n) {
  uint32_t r = 0x80000000u;  // x^0
  for (int i = 0; i < n; ++i) r = (r & 1u) != 0 ? (r >> 1) ^ kPolynomial : r >> 1;
  return r;
}

// Returns the reflected 33-bit form (bit 32 - d is the coefficient of x^d) of the quotient of x^64
// divided by P, for Barrett reduction; P itself is 0x104C11DB7 in the normal bit order.
constexpr uint64_t ReflectedBarrettQuotient() {
  constexpr uint64_t kNormalPolynomial = 0x104C11DB7u;
  // Long division of x^64, one dividend bit at a time: the running remainder has at most 33 bits.
  uint64_t remainder = 0;
  uint64_t quotient = 0;
  for (int i = 64; i >= 0; --i) {
    remainder = (remainder << 1) | (i == 64 ? 1u : 0u);
    if (((remainder >> 32) & 1u) != 0) {
      remainder ^= kNormalPolynomial;
      quotient |= uint64_t{1} << i;
    }
  }
  uint64_t reflected = 0;
  for (int d = 0; d <= 32; ++d) reflected |= ((quotient >> d) & 1u) << (32 - d);
  return reflected;
}

struct FoldConstants {
  uint64_t first;   // Multiplier of the low 64-bit half, which comes first in the message.
  uint64_t second;  // Multiplier of the high 64-bit half.
};

constexpr FoldConstants kFold128 = {0xAE689191u, 0xCCAA009Eu};
constexpr FoldConstants kFold256 = {0xF1DA05AAu, 0x81256527u};
constexpr FoldConstants kFold384 = {0x3DB1ECDCu, 0xAF449247u};
constexpr FoldConstants kFold512 = {0x8F352D95u, 0x1D9513D7u};
constexpr FoldConstants kFold1024 = {0x33FFF533u, 0x910EEEC1u};
constexpr FoldConstants kFold1536 = {0x596C8D81u, 0xF5E48C85u};
constexpr FoldConstants kFold2048 = {0xCE3371CBu, 0xE95C1271u};

constexpr bool FoldConstantsMatch(FoldConstants constants, int distance) {
  return constants.first == XPowModP(distance + 31) && constants.second == XPowModP(distance - 33);
}
static_assert(FoldConstantsMatch(kFold128, 128));
static_assert(FoldConstantsMatch(kFold256, 256));
static_assert(FoldConstantsMatch(kFold384, 384));
static_assert(FoldConstantsMatch(kFold512, 512));
static_assert(FoldConstantsMatch(kFold1024, 1024));
static_assert(FoldConstantsMatch(kFold1536, 1536));
static_assert(FoldConstantsMatch(kFold2048, 2048));

// Final reduction of a 128-bit block V to the CRC register, V * x^32 mod P, in three steps:
// 1. V * x^32 = H * x^96 + L * x^32 = x * H * (x^95 mod P) + L * x^32, 96 bits.
//    The constant has degree below 32, so it sits in the high half of its operand.
// 2. That is A * x^64 + B with A of 32 bits: A * x^64 = x * A * (x^63 mod P), 64 bits.
// 3. Barrett reduction of that 64-bit T = C * x^32 + D: q = (C * mu) div x^32 with
//    mu = x^64 div P, and the register is D + (q * P mod x^32).
constexpr uint64_t kReduce95 = uint64_t{0xCCAA009Eu} << 32;
constexpr uint64_t kReduce63 = uint64_t{0xB8BC6765u} << 32;
constexpr uint64_t kBarrettMu = 0x1F7011641u;          // Reflected 33-bit form of x^64 div P.
constexpr uint64_t kBarrettPolynomial = 0x1DB710641u;  // Reflected 33-bit form of P.
static_assert(kReduce95 == uint64_t{XPowModP(95)} << 32);
static_assert(kReduce63 == uint64_t{XPowModP(63)} << 32);
static_assert(kBarrettMu == ReflectedBarrettQuotient());
static_assert(kBarrettPolynomial == ((uint64_t{kPolynomial} << 1) | 1u));

#define FERROX_TARGET_PCLMUL __attribute__((target("pclmul,sse4.1")))
#define FERROX_TARGET_VPCLMUL __attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1")))
#define FERROX_ALWAYS_INLINE inline __attribute__((always_inline))

FERROX_TARGET_PCLMUL inline __m128i Constants128(FoldConstants constants) {
  return _mm_set_epi64x(static_cast<long long>(constants.second), static_cast<long long>(constants.first));
}

FERROX_TARGET_PCLMUL inline __m128i Load128(const unsigned char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Returns block moved forward by the distance the constants were made for.
FERROX_TARGET_PCLMUL inline __m128i Fold128(__m128i block, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(block, constants, 0x00),
                       _mm_clmulepi64_si128(block, constants, 0x11));
}

// Returns the CRC register after the message that ends with block (see the reduction steps above).
// Always inlined, so that in the VPCLMULQDQ path it is VEX-encoded like its caller.
FERROX_TARGET_PCLMUL FERROX_ALWAYS_INLINE uint32_t Reduce128(__m128i block) {
  const __m128i reduce = _mm_set_epi64x(static_cast<long long>(kReduce63), static_cast<long long>(kReduce95));
  const __m128i step1 =
      _mm_xor_si128(_mm_clmulepi64_si128(block, reduce, 0x00), _mm_slli_si128(_mm_srli_si128(block, 8), 4));
  const __m128i step2 = _mm_xor_si128(_mm_clmulepi64_si128(step1, reduce, 0x10), step1);
  const uint64_t t = static_cast<uint64_t>(_mm_extract_epi64(step2, 1));
  const __m128i barrett =
      _mm_set_epi64x(static_cast<long long>(kBarrettPolynomial), static_cast<long long>(kBarrettMu));
  // C in the low 32 bits stands for x^32 * C; the product x * (x^32 * C) * (x^31 * mu) puts
  // (C * mu) div x^32 in the low 32 bits, again standing for x^32 * q.
  const __m128i c = _mm_cvtsi64_si128(static_cast<long long>(t & 0xFFFFFFFFu));
  const __m128i q = _mm_and_si128(_mm_clmulepi64_si128(c, barrett, 0x00), _mm_cvtsi32_si128(-1));
  // x * (x^32 * q) * (x^31 * P) has q * P mod x^32 in bits 32..63, where T has D.
  const uint64_t qp = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_clmulepi64_si128(q, barrett, 0x10)));
  return static_cast<uint32_t>((t ^ qp) >> 32);
}

// Folds whole 16-byte blocks into block until fewer than 16 bytes remain, then reduces and finishes
// the remaining bytes with the tables. Always inlined, like Reduce128.
FERROX_TARGET_PCLMUL FERROX_ALWAYS_INLINE uint32_t Finish128(__m128i block, const unsigned char* bytes,
                                                             uint64_t length) {
  const __m128i fold128 = Constants128(kFold128);
  while (length >= 16) {
    block = _mm_xor_si128(Fold128(block, fold128), Load128(bytes));
    bytes += 16;
    length -= 16;
  }
  return BytewiseUpdate(Reduce128(block), bytes, length);
}

constexpr uint64_t kPclmulMinLength = 64;

FERROX_TARGET_PCLMUL uint32_t PclmulUpdate(uint32_t crc, const unsigned char* bytes, uint64_t length) {
  if (length < kPclmulMinLength) return SlicingUpdate(crc, bytes, length);
  // Four blocks in flight, 64 bytes apart, hide the latency of the multiplications.
  __m128i x0 = _mm_xor_si128(Load128(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load128(bytes + 16);
  __m128i x2 = Load128(bytes + 32);
  __m128i x3 = Load128(bytes + 48);
  bytes += 64;
  length -= 64;
  const __m128i fold512 = Constants128(kFold512);
  while (length >= 64) {
    x0 = _mm_xor_si128(Fold128(x0, fold512), Load128(bytes));
    x1 = _mm_xor_si128(Fold128(x1, fold512), Load128(bytes + 16));
    x2 = _mm_xor_si128(Fold128(x2, fold512), Load128(bytes + 32));
    x3 = _mm_xor_si128(Fold128(x3, fold512), Load128(bytes + 48));
    bytes += 64;
    length -= 64;
  }
  const __m128i block =
      _mm_xor_si128(_mm_xor_si128(Fold128(x0, Constants128(kFold384)), Fold128(x1, Constants128(kFold256))),
                    _mm_xor_si128(Fold128(x2, Constants128(kFold128)), x3));
  return Finish128(block, bytes, length);
}

FERROX_TARGET_VPCLMUL inline __m512i Constants512(FoldConstants constants) {
  // Set lane by lane: the broadcast intrinsic trips a false maybe-uninitialized warning in GCC 12.
  const long long first = static_cast<long long>(constants.first);
  const long long second = static_cast<long long>(constants.second);
  return _mm512_set_epi64(second, first, second, first, second, first, second, first);
}

FERROX_TARGET_VPCLMUL inline __m512i Load512(const unsigned char* bytes) {
  return _mm512_loadu_si512(static_cast<const void*>(bytes));
}

FERROX_TARGET_VPCLMUL inline __m512i Fold512(__m512i blocks, __m512i constants) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(blocks, constants, 0x00),
                          _mm512_clmulepi64_epi128(blocks, constants, 0x11));
}

// Returns Fold512(blocks, constants) ^ data with one three-way XOR.
FERROX_TARGET_VPCLMUL inline __m512i Fold512Xor(__m512i blocks, __m512i constants, __m512i data) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(blocks, constants, 0x00),
                                   _mm512_clmulepi64_epi128(blocks, constants, 0x11), data, 0x96);
}

// Returns 128-bit lane kLane of blocks. The zero-masked form avoids a false maybe-uninitialized
// warning that GCC 12 gives for the plain extraction.
template <int kLane>
FERROX_TARGET_VPCLMUL inline __m128i Lane(__m512i blocks) {
  return _mm512_maskz_extracti32x4_epi32(0xFF, blocks, kLane);
}

constexpr uint64_t kVpclmulMinLength = 256;

FERROX_TARGET_VPCLMUL uint32_t VpclmulUpdate(uint32_t crc, const unsigned char* bytes, uint64_t length) {
  if (length < kVpclmulMinLength) return PclmulUpdate(crc, bytes, length);
  // Four 512-bit registers of four 128-bit blocks each: sixteen blocks in flight, 256 bytes apart.
  __m512i z0 =
      _mm512_xor_si512(Load512(bytes), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m512i z1 = Load512(bytes + 64);
  __m512i z2 = Load512(bytes + 128);
  __m512i z3 = Load512(bytes + 192);
  bytes += 256;
  length -= 256;
  const __m512i fold2048 = Constants512(kFold2048);
  while (length >= 256) {
    z0 = Fold512Xor(z0, fold2048, Load512(bytes));
    z1 = Fold512Xor(z1, fold2048, Load512(bytes + 64));
    z2 = Fold512Xor(z2, fold2048, Load512(bytes + 128));
    z3 = Fold512Xor(z3, fold2048, Load512(bytes + 192));
    bytes += 256;
    length -= 256;
  }
  const __m512i fold512 = Constants512(kFold512);
  __m512i z =
      _mm512_ternarylogic_epi64(Fold512(z0, Constants512(kFold1536)), Fold512(z1, Constants512(kFold1024)),
                                Fold512Xor(z2, fold512, z3), 0x96);
  while (length >= 64) {
    z = Fold512Xor(z, fold512, Load512(bytes));
    bytes += 64;
    length -= 64;
  }
  // Move the first three 128-bit lanes forward by 384, 256 and 128 bits onto the last one; the last
  // lane's constants are zero, so its product vanishes and the lane itself is XOR-ed in below.
  const __m512i lanes =
      _mm512_set_epi64(0, 0, static_cast<long long>(kFold128.second), static_cast<long long>(kFold128.first),
                       static_cast<long long>(kFold256.second), static_cast<long long>(kFold256.first),
                       static_cast<long long>(kFold384.second), static_cast<long long>(kFold384.first));
  const __m512i folded = Fold512(z, lanes);
  const __m128i block = _mm_xor_si128(
      _mm_ternarylogic_epi64(Lane<0>(folded), Lane<1>(folded), Lane<2>(folded), 0x96), Lane<3>(z));
  const uint32_t result = Finish128(block, bytes, length);
  // Clear the upper register halves explicitly: GCC 12 does not emit VZEROUPPER on every exit of a
  // function given AVX through a target attribute, and dirty upper halves made the SSE code that runs
  // later (the PCLMULQDQ path among it) about 40% slower.
  _mm256_zeroupper();
  return result;
}

#endif  // defined(__x86_64__)

CrcImpl DetectImpl() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  const bool pclmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  if (pclmul && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("vpclmulqdq")) {
    return CrcImpl::kVpclmul;
  }
  if (pclmul) return CrcImpl::kPclmul;
#endif
  return CrcImpl::kSlicing;
}

// Runs impl, which the caller has checked to be available.
uint32_t RunImpl(CrcImpl impl, uint32_t crc, const unsigned char* bytes, uint64_t length) {
  switch (impl) {
    case CrcImpl::kBytewise:
      return BytewiseUpdate(crc, bytes, length);
    case CrcImpl::kSlicing:
      break;
#if defined(__x86_64__)
    case CrcImpl::kPclmul:
      return PclmulUpdate(crc, bytes, length);
    case CrcImpl::kVpclmul:
      return VpclmulUpdate(crc, bytes, length);
#else
    case CrcImpl::kPclmul:
    case CrcImpl::kVpclmul:
      break;
#endif
  }
  return SlicingUpdate(crc, bytes, length);
}

}  // namespace

CrcImpl CrcChosenImpl() {
  static const CrcImpl kChosen = DetectImpl();
  return kChosen;
}

uint32_t CrcUpdate(uint32_t crc, const void* data, uint64_t length) {
  return RunImpl(CrcChosenImpl(), crc, static_cast<const unsigned char*>(data), length);
}

uint32_t CrcUpdateBytewise(uint32_t crc, const void* data, uint64_t length) {
  return BytewiseUpdate(crc, static_cast<const unsigned char*>(data), length);
}

const uint32_t* CrcTable() { return kTables[0].data(); }

bool CrcImplAvailable(CrcImpl impl) {
  switch (impl) {
    case CrcImpl::kBytewise:
    case CrcImpl::kSlicing:
      return true;
    case CrcImpl::kPclmul:
      return CrcChosenImpl() == CrcImpl::kPclmul || CrcChosenImpl() == CrcImpl::kVpclmul;
    case CrcImpl::kVpclmul:
      return CrcChosenImpl() == CrcImpl::kVpclmul;
  }
  return false;
}

uint32_t CrcUpdateWith(CrcImpl impl, uint32_t crc, const void* data, uint64_t length) {
  if (!CrcImplAvailable(impl)) impl = CrcImpl::kSlicing;
  return RunImpl(impl, crc, static_cast<const unsigned char*>(data), length);
}
