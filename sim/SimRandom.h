#pragma once

#include <cstdint>

namespace vr7c::sim {

// A small deterministic generator (SplitMix64): the same seed gives the same run on every
// platform and standard library, which the standard distributions do not promise.
class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [lo, hi], both included; lo when hi < lo.
    std::int64_t range(std::int64_t lo, std::int64_t hi) {
        if (hi <= lo) {
            return lo;
        }
        const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
        return lo + static_cast<std::int64_t>(next() % span);
    }
    // Roughly normal with mean 0 and the given standard deviation (sum of four uniforms).
    double gauss(double sigma) {
        const double s = uniform() + uniform() + uniform() + uniform() - 2.0;
        return s * sigma * 1.7320508075688772;  // the sum has variance 1/3
    }

private:
    std::uint64_t state_;
};

}  // namespace vr7c::sim
