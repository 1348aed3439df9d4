// MD5 throughput in memory: our digest beside OpenSSL's MD5 from libcrypto, over the same buffers.
// Run: build/linux/bin/zelto_md5_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving
#include "Common/Md5.h"

#include <benchmark/benchmark.h>
#define OPENSSL_SUPPRESS_DEPRECATED // MD5() is deprecated for new code, not gone: it is the anchor users know
#include <openssl/md5.h>

#include <cstdint>
#include <vector>

namespace
{

std::vector<uint8_t> Message(size_t size)
{
    std::vector<uint8_t> bytes(size);
    uint32_t seed = 12345;
    for (auto& byte : bytes)
        byte = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
    return bytes;
}

void ZeltoMd5(benchmark::State& state)
{
    auto bytes = Message(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Zelto::Md5(bytes.data(), uint32_t(bytes.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void OpenSslMd5(benchmark::State& state)
{
    auto bytes = Message(size_t(state.range(0)));
    unsigned char digest[MD5_DIGEST_LENGTH];
    for (auto _ : state)
    {
        MD5(bytes.data(), bytes.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

} // namespace

BENCHMARK(ZeltoMd5)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(OpenSslMd5)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK_MAIN();
