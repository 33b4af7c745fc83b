// Op-list choice: exact ops for hand-worked columns, and over random columns
// the ops rebuild the target within the 255-op limit. Whole delta frames are
// decoded by the plugin in writer_plugin_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "delta_encoder.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;
using encode::EncodeColumn;

// Carries out one column's ops (count byte first) on `column`, whose rows are
// `rowBytes` apart; returns the op and data bytes it used.
std::pair<size_t, size_t> ApplyColumn(const uint8_t* ops, const uint8_t* data, uint8_t* column, size_t rows,
                                      size_t rowBytes, size_t unit) {
    const uint8_t* const opStart = ops;
    const uint8_t* const dataStart = data;
    size_t row = 0;
    auto put = [&](const uint8_t* from) {
        EXPECT_LT(row, rows) << "op past the last row";
        if (row < rows) std::memcpy(column + row * rowBytes, from, unit);
        ++row;
    };
    for (int n = *ops++; n > 0; --n) {
        const uint8_t code = *ops++;
        if (code >= 0x80) {
            for (int k = code - 0x80; k > 0; --k, data += unit) put(data);
        } else if (code == 0) {
            for (int k = *ops++; k > 0; --k) put(data);
            data += unit;
        } else {
            row += code;
        }
    }
    return {size_t(ops - opStart), size_t(data - dataStart)};
}

void ApplyOps(size_t count, const Bytes& ops, const Bytes& data, Bytes& buffer, size_t unit) {
    Bytes list{uint8_t(count)};
    list.insert(list.end(), ops.begin(), ops.end());
    const auto [opBytes, dataBytes] = ApplyColumn(list.data(), data.data(), buffer.data(), buffer.size() / unit, unit, unit);
    EXPECT_EQ(opBytes, list.size());
    EXPECT_EQ(dataBytes, data.size());
}

TEST(DeltaColumn, HandWorkedOps) {
    // Rows 1..5 become 7 (one same run), rows 6 and 7 stay, row 8 becomes 9.
    const Bytes from = {0, 0, 0, 0, 0, 0, 4, 4, 0, 1};
    const Bytes to = {0, 7, 7, 7, 7, 7, 4, 4, 9, 1};
    Bytes ops, data;
    EXPECT_EQ(EncodeColumn(from, to, 1, ops, data), 4u);
    EXPECT_EQ(ops, (Bytes{0x01, 0x00, 0x05, 0x02, 0x81}));
    EXPECT_EQ(data, (Bytes{7, 9}));

    // Word elements: rewriting a lone unchanged row inside a changed stretch
    // costs what a skip and a second run cost, in fewer ops.
    ops.clear(), data.clear();
    const Bytes wordFrom = {1, 1, 2, 2, 3, 3}, wordTo = {9, 1, 2, 2, 9, 3};
    EXPECT_EQ(EncodeColumn(wordFrom, wordTo, 2, ops, data), 1u);
    EXPECT_EQ(ops, (Bytes{0x83}));
    EXPECT_EQ(data, (Bytes{9, 1, 2, 2, 9, 3}));

    // Long stretches split at the op limits: skips of 127, same runs of 255.
    Bytes tallFrom(300, 0), tallTo(300, 0);
    tallTo[299] = 6;
    ops.clear(), data.clear();
    EXPECT_EQ(EncodeColumn(tallFrom, tallTo, 1, ops, data), 4u);
    EXPECT_EQ(ops, (Bytes{0x7F, 0x7F, 0x2D, 0x81}));
    tallTo.assign(300, 6);
    ops.clear(), data.clear();
    EXPECT_EQ(EncodeColumn(tallFrom, tallTo, 1, ops, data), 2u);
    EXPECT_EQ(ops, (Bytes{0x00, 0xFF, 0x00, 0x2D}));
    EXPECT_EQ(data, (Bytes{6, 6}));

    ops.clear(), data.clear();
    EXPECT_EQ(EncodeColumn(from, from, 1, ops, data), 0u);  // unchanged column: no ops
    EXPECT_TRUE(ops.empty());
}

TEST(DeltaColumn, RandomColumnsRebuild) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const int unit = 1 << (round % 3);
        const size_t rows = 1 + rng() % (round % 5 == 0 ? 700 : 60);
        const unsigned changeOdds = 1 + rng() % 8, values = 1 + rng() % 4;
        Bytes from(rows * size_t(unit)), to;
        for (auto& b : from) b = uint8_t(rng() % values);
        to = from;
        for (size_t r = 0; r < rows; ++r)
            if (rng() % changeOdds == 0)
                for (int i = 0; i < unit; ++i) to[r * size_t(unit) + size_t(i)] = uint8_t(rng() % values);
        Bytes ops, data;
        const auto count = EncodeColumn(from, to, unit, ops, data);
        ASSERT_TRUE(count.has_value());
        ASSERT_LE(*count, 255u);
        Bytes buffer = from;  // rows one element wide
        ApplyOps(*count, ops, data, buffer, size_t(unit));
        ASSERT_EQ(buffer, to) << "round " << round;
    }
}

TEST(DeltaColumn, TallAlternatingColumnKeepsTo255Ops) {
    // 1000 long rows, every third one changed: the cheapest choice, a run
    // and a skip per changed row, needs 667 ops.
    Bytes from(4000, 0), to(4000, 0), ops, data;
    for (size_t r = 0; r < 1000; r += 3) to[4 * r] = uint8_t(1 + r % 200);
    const auto count = EncodeColumn(from, to, 4, ops, data);
    ASSERT_TRUE(count.has_value());
    EXPECT_LE(*count, 255u);
    ApplyOps(*count, ops, data, from, 4);
    EXPECT_EQ(from, to);
}

}  // namespace
}  // namespace yafa::test
