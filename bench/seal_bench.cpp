// The cost of opening a sealed roster record: one Argon2id key derivation at
// the default cost, calibrated on this machine as the packer calibrates it,
// and the whole of openRecord with the right and with a wrong identity number.
// The chosen cost goes to stderr ("cost: ops N mem M KiB"). Each figure is the
// median of 5 repetitions of one call.
#include <benchmark/benchmark.h>

#include <sodium.h>

#include <cstdio>

#include "roster/seal.h"

namespace {

const std::u16string TICKET = u"10731020102", IDENTITY = u"51190219900101123X";

void derive(benchmark::State& state, SealCost cost)
{
    unsigned char key[crypto_aead_xchacha20poly1305_ietf_KEYBYTES], salt[crypto_pwhash_SALTBYTES] = {};
    for (auto _ : state)
        if (crypto_pwhash(key, sizeof key, reinterpret_cast<const char*>(IDENTITY.data()), IDENTITY.size() * 2, salt,
                          cost.opsLimit, std::size_t{cost.memLimitKiB} * 1024, crypto_pwhash_ALG_ARGON2ID13) != 0)
            state.SkipWithError("out of memory");
}

void open(benchmark::State& state, const std::string& sealed, const std::u16string& identity, SealCost cost)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(openRecord(sealed, TICKET, identity, cost));
}

}  // namespace

int main(int argc, char* argv[])
{
    benchmark::Initialize(&argc, argv);
    if (sodium_init() < 0)
        return 1;
    const SealCost cost = calibrateCost(DEFAULT_SEAL_SECONDS, DEFAULT_SEAL_MEM_KIB);
    std::fprintf(stderr, "cost: ops %u mem %u KiB\n", cost.opsLimit, cost.memLimitKiB);
    const std::string sealed = sealRecord(TICKET, IDENTITY, {u"王小明", u"  63.4    ", u"进藏兵加5分"}, cost);

    const auto each = [](benchmark::internal::Benchmark* bench) {
        bench->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();
    };
    each(benchmark::RegisterBenchmark("derive", derive, cost));
    each(benchmark::RegisterBenchmark("open/right", open, sealed, IDENTITY, cost));
    each(benchmark::RegisterBenchmark("open/wrong", open, sealed, u"51190219900101123x", cost));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
