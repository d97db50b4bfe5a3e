// What one guess at an identity number costs someone who holds a protected
// program file. A guesser keeps the Argon2id memory between guesses, so pays
// per guess only the passes, not taking and first touching the memory; the
// program, which derives one key per click, pays both. For 64 MiB (the
// default cost's) and two larger memory costs, prints one line each:
//   MiB  fixed-seconds  seconds-per-pass  passes  cores
// passes: the default cost's for 64 MiB, what --cost auto would choose for
// the others. Each split is the median of five timings (each the fastest of three).
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "office/write/seal.h"

int main()
{
    for (const std::uint32_t mib : {64u, 128u, 256u}) {
        std::vector<DerivationTime> times;
        for (int run = 0; run < 5; ++run)
            times.push_back(timeDerivation(mib * 1024));
        std::sort(times.begin(), times.end(), [](auto& a, auto& b) { return a.perPass < b.perPass; });
        const DerivationTime time = times[2];
        const std::uint32_t passes = mib * 1024 == DEFAULT_SEAL_COST.memLimitKiB
                                         ? DEFAULT_SEAL_COST.opsLimit
                                         : calibrateCost(AUTO_SEAL_SECONDS, {1, mib * 1024}).opsLimit;
        std::printf("%u %.4f %.4f %u %u\n", mib, time.fixed, time.perPass, passes,
                    std::max(1u, std::thread::hardware_concurrency()));
    }
}
