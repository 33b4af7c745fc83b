// What the benchmarks work on: the one stand-in host, the bundled example
// animations and the three data sets that the unpackers are measured on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "yafa_writer.h"
#include "stand_in_host.h"

namespace yafa::bench {

using Bytes = std::vector<uint8_t>;

// The process's stand-in host (only one may live at a time). Created on
// first use; yafa_core's HostBase pointer is set to it.
host::StandInHost& BenchHost();

struct Example {
    std::string name;  // file name without ".yafa"
    Bytes file;
};

// The bundled examples (*.yafa in the examples directory, by name), or, when
// there are none, animations of the same kinds drawn here.
const std::vector<Example>& Examples();

// A ball bouncing over a floor, 5 bitplanes with word deltas, at any size.
Bytes DrawBall(uint16_t width, uint16_t height, int frameCount, encode::Storage storage);

// Names of the data sets, in the order they are reported.
const std::vector<std::string>& DataSetNames();

// The unpacked bytes of a data set, made on first use:
//   frames  every frame of the examples as the unpackers deliver it
//           (examples that hold the same frames in other storage count once)
//   noise   random bytes with a little repetition
//   runs    long repeated patterns
const Bytes& DataSet(const std::string& name);

// Deterministic pseudo-random numbers (xorshift64*).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15u + 1) {}
    uint32_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Du) >> 32);
    }
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>((uint64_t{Next()} * n) >> 32); }

private:
    uint64_t state_;
};

Bytes RandomBytes(size_t n, uint64_t seed);

}  // namespace yafa::bench
