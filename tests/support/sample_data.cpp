#include "support/sample_data.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace yafa::test {

std::vector<uint8_t> SampleData(Shape shape, size_t size, uint32_t seed) {
    static const char* const kWords[] = {"the ", "frame ", "delta ", "plane ", "of ", "palette\n", "chunk, ", "a "};
    std::mt19937 rng(seed);
    std::vector<uint8_t> d;
    while (d.size() < size) {
        switch (shape) {
        case Shape::Noise: d.push_back(uint8_t(rng())); break;
        case Shape::Runs: d.insert(d.end(), 1 + rng() % 40, uint8_t(rng() % 4)); break;
        case Shape::LongRuns: d.insert(d.end(), rng() % 8 ? 1 + rng() % 600 : 19000 + rng() % 1000, uint8_t(rng() % 4)); break;
        case Shape::Text: {
            const char* w = kWords[rng() % 8];
            d.insert(d.end(), w, w + std::strlen(w));
            break;
        }
        case Shape::Repeats:
            if (d.size() < 4095) {
                d.push_back(uint8_t(rng()));
            } else {
                d.push_back(d[d.size() - 4095] ^ (rng() % 300 ? 0 : 0x40));
            }
            break;
        case Shape::Image: {
            const size_t w = 320, y = d.size() / w;
            for (size_t x = 0; x < w; ++x)
                d.push_back(d.size() >= w && rng() % 4 ? d[d.size() - w] : uint8_t((x / 8 + y) ^ (rng() % 16 == 0)));
            break;
        }
        case Shape::Blocks: {
            const size_t len = 2 + rng() % (rng() % 4 ? 40 : 700);
            if (d.size() < 64 || rng() % 5 == 0) {
                for (size_t i = 0; i < len; ++i) d.push_back(uint8_t(rng()));
            } else {
                const size_t from = d.size() - 1 - rng() % std::min<size_t>(d.size(), rng() % 2 ? 40 : 70000);
                for (size_t i = 0; i < len; ++i) d.push_back(d[from + i]);
            }
        }
        }
    }
    d.resize(size);
    return d;
}

}  // namespace yafa::test
