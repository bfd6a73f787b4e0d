// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the CRC-32 implementations against zlib's crc32 on 1 MiB buffers, plus a few
// shorter lengths. Before any timing, main checks that every implementation and zlib agree.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "engine/Crc32.h"

namespace {

constexpr size_t kBufferSize = size_t{1} << 20;

// Returns a 1 MiB buffer of random bytes, the same for every benchmark.
const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> kBuffer = [] {
    std::vector<unsigned char> bytes(kBufferSize + 64);
    std::mt19937 generator(42);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(generator() >> 24);
    return bytes;
  }();
  return kBuffer;
}

// Returns zlib's CRC-32 of length bytes at data (already started and complemented), fed in
// pieces zlib's unsigned int length can hold.
uint32_t ZlibCrc(const unsigned char* data, size_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (length > 0) {
    const uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
    crc = crc32(crc, data, piece);
    data += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(crc);
}

// Returns true when every implementation available here gives zlib's value for several lengths.
bool ImplementationsAgree() {
  const unsigned char* data = Buffer().data();
  bool agree = true;
  for (size_t length : {size_t{0}, size_t{1}, size_t{63}, size_t{255}, size_t{4099}, kBufferSize}) {
    for (size_t offset : {size_t{0}, size_t{5}}) {
      const uint32_t expected = ZlibCrc(data + offset, length);
      const uint32_t automatic = ~CrcUpdate(0xFFFFFFFFu, data + offset, length);
      if (automatic != expected) agree = false;
      for (CrcImpl impl : {CrcImpl::kBytewise, CrcImpl::kSlicing, CrcImpl::kPclmul, CrcImpl::kVpclmul}) {
        if (!CrcImplAvailable(impl)) continue;
        if (~CrcUpdateWith(impl, 0xFFFFFFFFu, data + offset, length) != expected) agree = false;
      }
    }
  }
  return agree;
}

void SetThroughput(benchmark::State& state, size_t length) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(length));
}

void BM_CrcUpdate(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(CrcUpdate(0xFFFFFFFFu, Buffer().data(), length));
  SetThroughput(state, length);
}

void BM_CrcImpl(benchmark::State& state, CrcImpl impl) {
  if (!CrcImplAvailable(impl)) {
    state.SkipWithError("not available on this CPU");
    return;
  }
  const size_t length = static_cast<size_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(CrcUpdateWith(impl, 0xFFFFFFFFu, Buffer().data(), length));
  SetThroughput(state, length);
}

void BM_Zlib(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(ZlibCrc(Buffer().data(), length));
  SetThroughput(state, length);
}

void Lengths(benchmark::internal::Benchmark* benchmark) {
  for (int64_t length : {int64_t{64}, int64_t{256}, int64_t{4096}, int64_t{65536}, int64_t{kBufferSize}}) {
    benchmark->Arg(length);
  }
}

BENCHMARK(BM_CrcUpdate)->Apply(Lengths);
BENCHMARK_CAPTURE(BM_CrcImpl, Bytewise, CrcImpl::kBytewise)->Arg(kBufferSize);
BENCHMARK_CAPTURE(BM_CrcImpl, Slicing, CrcImpl::kSlicing)->Arg(kBufferSize);
BENCHMARK_CAPTURE(BM_CrcImpl, Pclmul, CrcImpl::kPclmul)->Apply(Lengths);
BENCHMARK_CAPTURE(BM_CrcImpl, Vpclmul, CrcImpl::kVpclmul)->Apply(Lengths);
BENCHMARK(BM_Zlib)->Apply(Lengths);

}  // namespace

int main(int argc, char** argv) {
  if (!ImplementationsAgree()) {
    std::fprintf(stderr, "crc_bench: the implementations disagree with zlib\n");
    return 1;
  }
  const char* const kNames[] = {"bytewise", "slicing", "pclmul", "vpclmul"};
  std::printf("crc_bench: all implementations agree with zlib; CrcUpdate uses %s\n",
              kNames[static_cast<int>(CrcChosenImpl())]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
