#include "pack_stats.h"

#include <cstdio>
#include <map>
#include <optional>
#include <vector>

namespace yafa::tool {
namespace {

using encode::Storage;

constexpr Storage kMethods[] = {Storage::Raw, Storage::S404, Storage::XpkFast, Storage::XpkNuke, Storage::XpkRake};

void Append(std::string& out, const char* format, auto... values) {
    char line[256];
    std::snprintf(line, sizeof line, format, values...);
    out += line;
}

std::optional<size_t> TrialSize(const encode::FrameStats& frame, Storage method) {
    for (const auto& t : frame.trials)
        if (t.method == method) return t.size;
    return std::nullopt;
}

double FrameMs(const encode::FrameStats& frame) {
    double seconds = 0;
    for (const auto& t : frame.trials) seconds += t.seconds;
    return seconds * 1000;
}

}  // namespace

std::string FormatPackStats(const encode::WriteStats& stats, const encode::WriterOptions& options, double readSeconds,
                            double packSeconds) {
    std::vector<Storage> columns;
    for (Storage m : kMethods)
        for (const auto& f : stats.frames)
            if (TrialSize(f, m)) {
                columns.push_back(m);
                break;
            }

    std::string out;
    Append(out, "%5s %-5s %9s", "frame", "kind", "unpacked");
    for (Storage m : columns) Append(out, " %9s", encode::StorageName(m));
    Append(out, "  %-6s %9s %9s\n", "chosen", "stored", "ms");

    size_t unpacked = 0, stored = 0;
    double ms = 0;
    std::vector<size_t> sums(columns.size(), 0);
    std::vector<bool> complete(columns.size(), true);
    std::map<std::string, size_t> chosen;
    for (size_t i = 0; i < stats.frames.size(); ++i) {
        const auto& f = stats.frames[i];
        Append(out, "%5zu %-5s %9zu", i, f.delta ? "delta" : "whole", f.unpackedSize);
        for (size_t c = 0; c < columns.size(); ++c) {
            if (const auto size = TrialSize(f, columns[c])) {
                Append(out, " %9zu", *size);
                sums[c] += *size;
            } else {
                Append(out, " %9s", "-");
                complete[c] = false;
            }
        }
        Append(out, "  %-6s %9zu %9.1f\n", encode::StorageName(f.stored), f.storedSize, FrameMs(f));
        unpacked += f.unpackedSize;
        stored += f.storedSize;
        ms += FrameMs(f);
        ++chosen[encode::StorageName(f.stored)];
    }
    Append(out, "%5s %-5s %9zu", "total", "", unpacked);
    for (size_t c = 0; c < columns.size(); ++c) {
        if (complete[c]) {
            Append(out, " %9zu", sums[c]);
        } else {
            Append(out, " %9s", "-");
        }
    }
    Append(out, "  %-6s %9zu %9.1f\n", "", stored, ms);

    out += "chosen:";
    for (const auto& [name, count] : chosen) Append(out, " %s %zu", name.c_str(), count);
    Append(out, "\nfile: %zu bytes (%zu of frames); %ux%u, depth %d, format %d, %s", stats.fileSize, stored,
           unsigned{options.width}, unsigned{options.height}, options.depth, options.frameFormat,
           stats.deltaUnit ? "delta unit " : "no deltas");
    if (stats.deltaUnit) Append(out, "%d", stats.deltaUnit);
    Append(out, "; pictures read in %.2f s, packed in %.2f s\n", readSeconds, packSeconds);
    return out;
}

}  // namespace yafa::tool
