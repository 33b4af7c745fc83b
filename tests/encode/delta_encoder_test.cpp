// Op-list choice: exact ops for hand-worked columns, and over random columns
// the ops rebuild the target within the 255-op limit. Whole delta frames are
// decoded by the plugin in writer_plugin_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "delta_encoder.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;
using encode::EncodeColumn;

// Carries out one column's ops (`count` of them) on `column`, one element
// per row, and checks that they use every op and data byte.
void ApplyOps(size_t count, const Bytes& ops, const Bytes& data, Bytes& column, size_t unit) {
    size_t row = 0, op = 0, at = 0;
    auto put = [&](size_t from) {
        ASSERT_LT(row, column.size() / unit) << "op past the last row";
        std::copy_n(data.begin() + long(from), unit, column.begin() + long(row++ * unit));
    };
    for (; count > 0; --count) {
        const uint8_t code = ops.at(op++);
        if (code >= 0x80) {
            for (int k = code - 0x80; k > 0; --k, at += unit) put(at);
        } else if (code == 0) {
            for (int k = ops.at(op++); k > 0; --k) put(at);
            at += unit;
        } else {
            row += code;
        }
    }
    EXPECT_EQ(op, ops.size());
    EXPECT_EQ(at, data.size());
}

TEST(DeltaColumn, HandWorkedOps) {
    Bytes tall(300, 0), tallLastChanged(300, 0), tallAllChanged(300, 6);
    tallLastChanged[299] = 6;
    const struct {
        const char* name;
        Bytes from, to;
        int unit;
        size_t count;
        Bytes ops, data;
    } cases[] = {
        // Rows 1..5 become 7 (one same run), rows 6 and 7 stay, row 8 becomes 9.
        {"runs and skips", {0, 0, 0, 0, 0, 0, 4, 4, 0, 1}, {0, 7, 7, 7, 7, 7, 4, 4, 9, 1}, 1, 4,
         {0x01, 0x00, 0x05, 0x02, 0x81}, {7, 9}},
        // Rewriting a lone unchanged row inside a changed stretch costs what a
        // skip and a second run cost, in fewer ops.
        {"word elements", {1, 1, 2, 2, 3, 3}, {9, 1, 2, 2, 9, 3}, 2, 1, {0x83}, {9, 1, 2, 2, 9, 3}},
        // Long stretches split at the op limits: skips of 127, same runs of 255.
        {"long skips", tall, tallLastChanged, 1, 4, {0x7F, 0x7F, 0x2D, 0x81}, {6}},
        {"long same runs", tall, tallAllChanged, 1, 2, {0x00, 0xFF, 0x00, 0x2D}, {6, 6}},
        {"unchanged column", tall, tall, 1, 0, {}, {}},
    };
    for (const auto& c : cases) {
        Bytes ops, data;
        EXPECT_EQ(EncodeColumn(c.from, c.to, c.unit, ops, data), c.count) << c.name;
        EXPECT_EQ(ops, c.ops) << c.name;
        EXPECT_EQ(data, c.data) << c.name;
    }
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
