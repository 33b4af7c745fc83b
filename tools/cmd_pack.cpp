// yafa pack: a YAFA animation from PNG frames or an animated GIF.
//
// Pictures of at most 256 colours are stored exactly: one palette for all
// frames when their colours fit in it together, else (with --frame-palette)
// a palette per frame. More colours need true colour (--depth 15 or 24) or
// an explicit --quantize; --ham6 and --ham8 approximate by their nature.
#include <libimagequant.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "command_support.h"
#include "commands.h"
#include "image_input.h"
#include "pack_stats.h"
#include "planar_encoder.h"
#include "progress.h"
#include "quantiser.h"
#include "yafa_writer.h"

namespace yafa::tool {
namespace {

namespace fs = std::filesystem;
using encode::Frame;
using encode::KeyFrameMode;
using encode::Storage;
using encode::WriterOptions;

// Any failure: the subject (a file, or the output) and what is wrong.
struct PackFailure {
    std::string subject, message;
};

[[noreturn]] void Fail(const std::string& subject, const std::string& message) { throw PackFailure{subject, message}; }

constexpr uint16_t kDefaultTicks = 5;  // 100 ms, what browsers use for a GIF delay of 0

std::string Hex(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", rgb & 0xFFFFFFu);
    return text;
}

int DepthFor(size_t colours) {
    int depth = 1;
    while ((size_t{1} << depth) < colours) ++depth;
    return depth;
}

// What the options ask for, settled before any picture is read.
struct Plan {
    enum class Kind { Indexed, TrueColour, Ham } kind = Kind::Indexed;
    int depth = 0;     // 0: the smallest that holds the colours
    int hamDepth = 0;  // 6 or 8
    bool chunky = false;
    bool delta = false;
    int deltaUnit = 1;
    KeyFrameMode keyFrames = KeyFrameMode::TwoKeys;
    Storage storage = Storage::Auto;
};

Plan MakePlan(const PackCommandOptions& o) {
    const std::string& out = o.out;
    Plan p;
    if (o.ham6 || o.ham8) {
        p.kind = Plan::Kind::Ham;
        p.hamDepth = o.ham6 ? 6 : 8;
        if (o.depth && *o.depth != p.hamDepth)
            Fail(out, "--ham" + std::to_string(p.hamDepth) + " stores depth " + std::to_string(p.hamDepth) +
                          ", not --depth " + std::to_string(*o.depth));
        p.depth = p.hamDepth;
    } else if (o.depth && (*o.depth == 15 || *o.depth == 24)) {
        p.kind = Plan::Kind::TrueColour;
        p.depth = *o.depth;
        if (o.framePalette) Fail(out, "--frame-palette needs depth 8 or less; true colour has no palette");
    } else if (o.depth) {
        p.depth = *o.depth;
    }
    p.chunky = o.layout ? *o.layout == "chunky" : p.kind == Plan::Kind::TrueColour;
    if (!p.chunky && p.kind == Plan::Kind::TrueColour)
        Fail(out, "bitplanes hold depth 1 to 8; true colour (--depth " + std::to_string(p.depth) +
                      ") needs --layout chunky");

    // A chunky delta animation decodes as 8-bit pixels, so neither true
    // colour nor HAM6 can be stored as deltas in chunky frames.
    const bool deltaImpossible = p.kind == Plan::Kind::TrueColour || (p.chunky && p.hamDepth == 6);
    if (o.delta && deltaImpossible)
        Fail(out, p.kind == Plan::Kind::TrueColour
                      ? "--delta needs depth 8 or less: a true-colour delta animation would decode as 8-bit pixels"
                      : "--delta with --ham6 needs --layout planar: chunky deltas decode at depth 8");
    p.delta = o.delta || (!o.noDelta && !deltaImpossible);
    if (!p.delta && (o.deltaUnit || o.keyFrames))
        Fail(out, std::string(o.deltaUnit ? "--delta-unit" : "--keyframes") + " applies to delta animations only (" +
                      (o.noDelta                          ? "--no-delta given"
                       : p.kind == Plan::Kind::TrueColour ? "true colour is stored without deltas"
                                                          : "chunky HAM6 is stored without deltas") +
                      ")");
    p.deltaUnit = o.deltaUnit.value_or(1);
    if (o.keyFrames) {
        const std::string& k = *o.keyFrames;
        p.keyFrames = k == "from1"    ? KeyFrameMode::From1
                      : k == "from0"  ? KeyFrameMode::From0
                      : k == "from01" ? KeyFrameMode::From01
                                      : KeyFrameMode::TwoKeys;
    }
    p.storage = encode::ParseStorage(o.storage).value_or(Storage::Auto);
    return p;
}

// --- Colour reduction --------------------------------------------------------

// A palette of at most maxColours for all the given pictures together.
std::vector<uint32_t> QuantisePalette(const std::vector<const std::vector<uint32_t>*>& pictures, uint32_t width,
                                      uint32_t height, int maxColours, const std::string& subject) {
    UseOneQuantiserThread();
    std::unique_ptr<liq_attr, LiqDeleter> attr(liq_attr_create());
    if (!attr || liq_set_max_colors(attr.get(), std::max(maxColours, 2)) != LIQ_OK)
        Fail(subject, "the colour quantiser cannot start");
    std::unique_ptr<liq_histogram, LiqDeleter> histogram(liq_histogram_create(attr.get()));
    if (!histogram) Fail(subject, "the colour quantiser cannot start");
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (const auto* picture : pictures) {
        for (size_t i = 0; i < picture->size(); ++i) {
            const uint32_t c = (*picture)[i];
            rgba[4 * i] = static_cast<uint8_t>(c >> 16);
            rgba[4 * i + 1] = static_cast<uint8_t>(c >> 8);
            rgba[4 * i + 2] = static_cast<uint8_t>(c);
            rgba[4 * i + 3] = 255;
        }
        std::unique_ptr<liq_image, LiqDeleter> image(
            liq_image_create_rgba(attr.get(), rgba.data(), static_cast<int>(width), static_cast<int>(height), 0));
        if (!image || liq_histogram_add_image(histogram.get(), attr.get(), image.get()) != LIQ_OK)
            Fail(subject, "the colour quantiser failed");
    }
    liq_result* raw = nullptr;
    if (liq_histogram_quantize(histogram.get(), attr.get(), &raw) != LIQ_OK)
        Fail(subject, "the colour quantiser failed");
    std::unique_ptr<liq_result, LiqDeleter> result(raw);
    const liq_palette* palette = liq_get_palette(result.get());
    std::vector<uint32_t> colours;
    for (unsigned i = 0; i < palette->count && colours.size() < size_t(maxColours); ++i) {
        const liq_color& c = palette->entries[i];
        colours.push_back(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
    }
    if (colours.empty()) colours.push_back(0);
    return colours;
}

// Each pixel's nearest palette entry. No dithering: error diffusion would
// carry a moving object's changes across the rest of the frame and defeat
// the deltas.
std::vector<uint8_t> MapToPalette(const std::vector<uint32_t>& rgb, const std::vector<uint32_t>& palette) {
    std::unordered_map<uint32_t, uint8_t> nearest;
    std::vector<uint8_t> indices(rgb.size());
    for (size_t n = 0; n < rgb.size(); ++n) {
        auto [it, inserted] = nearest.try_emplace(rgb[n], 0);
        if (inserted) {
            const int r = (rgb[n] >> 16) & 255, g = (rgb[n] >> 8) & 255, b = rgb[n] & 255;
            int best = -1;
            for (size_t k = 0; k < palette.size(); ++k) {
                const int dr = r - int((palette[k] >> 16) & 255), dg = g - int((palette[k] >> 8) & 255),
                          db = b - int(palette[k] & 255);
                const int d = dr * dr + dg * dg + db * db;
                if (best < 0 || d < best) best = d, it->second = static_cast<uint8_t>(k);
            }
        }
        indices[n] = it->second;
    }
    return indices;
}

// Colours in order of first appearance, and each pixel's colour number, over
// one or more pictures. Add returns false once there are more than `limit`.
class ColourTable {
public:
    explicit ColourTable(size_t limit) : limit_(limit) {}
    bool Add(const std::vector<uint32_t>& rgb, std::vector<uint16_t>* ids) {
        ids->resize(rgb.size());
        for (size_t n = 0; n < rgb.size(); ++n) {
            auto [it, inserted] = number_.try_emplace(rgb[n], static_cast<uint16_t>(colours_.size()));
            if (inserted) {
                if (colours_.size() == limit_) return false;
                colours_.push_back(rgb[n]);
            }
            (*ids)[n] = it->second;
        }
        return true;
    }
    const std::vector<uint32_t>& colours() const { return colours_; }

private:
    size_t limit_;
    std::unordered_map<uint32_t, uint16_t> number_;
    std::vector<uint32_t> colours_;
};

// Palette slots for one frame's colours (`ids`, colour numbers per pixel):
// each colour goes to the slot that most of its pixels had in the frame
// before, so that a still picture whose colours change (palette cycling)
// keeps its indices and only its palette changes, and a moving one keeps
// the indices of what did not move. Other colours take the lowest free slots.
std::vector<int> AssignSlots(const std::vector<uint16_t>& ids, size_t colourCount, const std::vector<uint8_t>* before) {
    std::vector<int> slotOf(colourCount, -1);
    std::vector<bool> taken(256, false);
    if (before) {
        std::vector<uint32_t> votes(colourCount * 256, 0);
        for (size_t n = 0; n < ids.size(); ++n) ++votes[size_t{ids[n]} * 256 + (*before)[n]];
        std::vector<std::pair<uint32_t, uint32_t>> ranked;  // (count, colour * 256 + slot)
        for (size_t key = 0; key < votes.size(); ++key)
            if (votes[key]) ranked.emplace_back(votes[key], static_cast<uint32_t>(key));
        std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
        for (const auto& [count, key] : ranked) {
            const uint32_t colour = key / 256, slot = key % 256;
            if (slotOf[colour] < 0 && !taken[slot]) slotOf[colour] = static_cast<int>(slot), taken[slot] = true;
        }
    }
    size_t next = 0;
    for (int& slot : slotOf) {
        if (slot >= 0) continue;
        while (taken[next]) ++next;
        slot = static_cast<int>(next);
        taken[next] = true;
    }
    return slotOf;
}

struct Converted {
    std::vector<Frame> frames;
    std::vector<uint32_t> palette;  // DRGB
    int depth = 0;
    std::string note;  // said on stderr when the colours were not kept exactly
};

std::string TooManyColours(size_t limit, bool together, const PackCommandOptions& o) {
    std::string text = together
                           ? "the frames up to this one have more than " + std::to_string(limit) + " colours together"
                           : "the picture has more than " + std::to_string(limit) + " colours";
    if (o.depth) text += " (--depth " + std::to_string(*o.depth) + ")";
    text += "; give ";
    if (together) text += "--frame-palette for a palette per frame, ";
    return text + "--quantize to reduce them, or --depth 24 (or 15) for true colour";
}

// Palette PNGs keep their indices and palette order, which their author may
// have chosen with care (in bitplanes, colours whose indices differ in one
// bit differ in one plane): when every frame is one whose indices fit, and
// they share their palette or --frame-palette gives each frame its own.
bool KeepFilePalettes(const InputAnimation& in, size_t limit, bool framePalette, Converted* c) {
    size_t used = 1;
    for (const auto& f : in.frames) {
        if (f.indices.empty()) return false;
        used = std::max<size_t>(used, *std::max_element(f.indices.begin(), f.indices.end()) + 1u);
    }
    if (used > limit) return false;
    auto head = [used](const std::vector<uint32_t>& palette) {
        std::vector<uint32_t> h(palette.begin(), palette.begin() + std::ptrdiff_t(std::min(used, palette.size())));
        h.resize(used, 0);
        return h;
    };
    if (!framePalette) {
        c->palette = head(in.frames.front().palette);
        for (const auto& f : in.frames)
            if (head(f.palette) != c->palette) return false;
    }
    for (const auto& f : in.frames)
        c->frames.push_back(Frame{f.indices, {}, framePalette ? head(f.palette) : std::vector<uint32_t>{}});
    c->depth = DepthFor(used);
    return true;
}

Converted ToIndexed(InputAnimation& in, const Plan& plan, const PackCommandOptions& o) {
    const size_t limit = plan.depth ? size_t{1} << plan.depth : 256;
    const size_t count = in.frames.size();
    Converted c;
    if (KeepFilePalettes(in, limit, o.framePalette, &c)) {
        if (plan.depth) c.depth = plan.depth;
        return c;
    }
    c.palette.clear();
    c.frames.resize(count);
    size_t paletteSize = 1;
    if (!o.framePalette) {
        ColourTable table(limit);
        std::vector<uint16_t> ids;
        for (size_t i = 0; i < count; ++i) {
            if (!table.Add(in.frames[i].rgb, &ids)) {
                if (!o.quantize) Fail(in.frames[i].source, TooManyColours(limit, true, o));
                std::vector<const std::vector<uint32_t>*> all;
                for (const auto& f : in.frames) all.push_back(&f.rgb);
                c.palette = QuantisePalette(all, in.width, in.height, static_cast<int>(limit), o.out);
                for (size_t k = 0; k < count; ++k) c.frames[k].indices = MapToPalette(in.frames[k].rgb, c.palette);
                c.note = "the frames have more than " + std::to_string(limit) + " colours; reduced to " +
                         std::to_string(c.palette.size());
                c.depth = plan.depth ? plan.depth : DepthFor(c.palette.size());
                return c;
            }
            c.frames[i].indices.assign(ids.begin(), ids.end());
        }
        c.palette = table.colours();
        c.depth = plan.depth ? plan.depth : DepthFor(c.palette.size());
        return c;
    }
    std::vector<uint32_t> palette;  // carried on, so slots a frame leaves unused keep their colours
    size_t quantised = 0;
    for (size_t i = 0; i < count; ++i) {
        ColourTable table(limit);
        std::vector<uint16_t> ids;
        std::vector<uint32_t> colours;
        if (table.Add(in.frames[i].rgb, &ids)) {
            colours = table.colours();
        } else {
            if (!o.quantize) Fail(in.frames[i].source, TooManyColours(limit, false, o));
            colours = QuantisePalette({&in.frames[i].rgb}, in.width, in.height, static_cast<int>(limit), o.out);
            const std::vector<uint8_t> indices = MapToPalette(in.frames[i].rgb, colours);
            ids.assign(indices.begin(), indices.end());
            ++quantised;
        }
        const std::vector<int> slots = AssignSlots(ids, colours.size(), i ? &c.frames[i - 1].indices : nullptr);
        auto& indices = c.frames[i].indices;
        indices.resize(ids.size());
        for (size_t n = 0; n < ids.size(); ++n) indices[n] = static_cast<uint8_t>(slots[ids[n]]);
        for (size_t k = 0; k < colours.size(); ++k) {
            const auto slot = static_cast<size_t>(slots[k]);
            if (palette.size() <= slot) palette.resize(slot + 1, 0);
            palette[slot] = colours[k];
        }
        paletteSize = std::max(paletteSize, palette.size());
        c.frames[i].palette = palette;
    }
    c.depth = plan.depth ? plan.depth : DepthFor(paletteSize);
    if (quantised)
        c.note = std::to_string(quantised) + " frame(s) with more than " + std::to_string(limit) +
                 " colours reduced to a palette of their own";
    return c;
}

Converted ToTrueColour(InputAnimation& in, const Plan& plan, const PackCommandOptions& o) {
    Converted c;
    c.depth = plan.depth;
    size_t rounded = 0;
    for (auto& f : in.frames) {
        if (plan.depth == 15) {
            for (size_t n = 0; n < f.rgb.size(); ++n) {
                uint32_t& px = f.rgb[n];
                if ((px & 0x070707u) == 0) continue;
                if (!o.quantize)
                    Fail(f.source, "colour " + Hex(px) + " at (" + std::to_string(n % in.width) + ", " +
                                       std::to_string(n / in.width) +
                                       ") is not exact at depth 15 (components are multiples of 8); give --quantize "
                                       "to round the colours, or --depth 24");
                uint32_t v = 0;
                for (int shift : {16, 8, 0}) v |= std::min<uint32_t>(248, (((px >> shift) & 255) + 4) & ~7u) << shift;
                px = v;
                ++rounded;
            }
        }
        c.frames.push_back(Frame{{}, std::move(f.rgb), {}});
    }
    if (rounded) c.note = std::to_string(rounded) + " pixel(s) rounded to 15-bit colours";
    return c;
}

Converted ToHam(InputAnimation& in, const Plan& plan, const PackCommandOptions& o) {
    const int bases = plan.hamDepth == 8 ? 64 : 16;
    auto basePalette = [&](const std::vector<const std::vector<uint32_t>*>& pictures) {
        ColourTable table(static_cast<size_t>(bases));
        std::vector<uint16_t> ids;
        bool fits = true;
        for (const auto* p : pictures) fits = fits && table.Add(*p, &ids);
        return fits ? table.colours() : QuantisePalette(pictures, in.width, in.height, bases, o.out);
    };
    Converted c;
    c.depth = plan.hamDepth;
    if (!o.framePalette) {
        std::vector<const std::vector<uint32_t>*> all;
        for (const auto& f : in.frames) all.push_back(&f.rgb);
        c.palette = basePalette(all);
    }
    for (const auto& f : in.frames) {
        Frame frame;
        if (o.framePalette) frame.palette = basePalette({&f.rgb});
        const auto& base = o.framePalette ? frame.palette : c.palette;
        frame.indices = encode::EncodeHam(f.rgb, in.width, in.height, base, plan.hamDepth);
        c.frames.push_back(std::move(frame));
    }
    return c;
}

uint16_t TicksFor(const InputFrame& f, const PackCommandOptions& o) {
    if (o.delayTicks) return static_cast<uint16_t>(*o.delayTicks);
    if (o.delayMs) return static_cast<uint16_t>(std::clamp((*o.delayMs + 10) / 20, 1, 65535));
    // GIF delays count 1/100 s: two to a tick, halves rounded up.
    if (f.delayCs > 0) return static_cast<uint16_t>(std::clamp((f.delayCs + 1) / 2, 1, 65535));
    return kDefaultTicks;
}

// The output must not be one of the pictures: with the arguments the wrong
// way round, an input would be overwritten.
void CheckOutput(const PackCommandOptions& o) {
    std::error_code ec;
    if (fs::is_directory(o.out, ec))
        Fail(o.out, "is a folder; the output file comes first: yafa pack OUT.yafa INPUT...");
    if (!fs::exists(o.out, ec)) return;
    std::ifstream in(o.out, std::ios::binary);
    char head[6] = {};
    in.read(head, sizeof head);
    const std::string magic(head, static_cast<size_t>(in.gcount()));
    if (magic.starts_with("\x89PNG") || magic.starts_with("GIF8"))
        Fail(o.out, "is a picture, not overwritten; the output file comes first: yafa pack OUT.yafa INPUT...");
}

void WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes) {
    // Written beside the target and renamed, so a failure never leaves half a file.
    const std::string part = path + ".part" + std::to_string(::getpid());
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(part, ignored);
            Fail(path, "cannot write the file");
        }
    }
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec) {
        fs::remove(part, ec);
        Fail(path, "cannot write the file: " + ec.message());
    }
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int RunPack(const PackCommandOptions& o) {
    try {
        const Plan plan = MakePlan(o);
        CheckOutput(o);

        const auto readStart = std::chrono::steady_clock::now();
        InputAnimation in;
        {
            std::unique_ptr<Progress> progress;
            InputError error;
            const bool ok = ReadInputs(o.inputs, &in, &error, [&](size_t done, size_t total) {
                if (!progress) progress = std::make_unique<Progress>("read", total);
                progress->Step(done);
            });
            if (!ok) Fail(error.subject, error.message);
        }
        Converted c = plan.kind == Plan::Kind::TrueColour ? ToTrueColour(in, plan, o)
                      : plan.kind == Plan::Kind::Ham      ? ToHam(in, plan, o)
                                                          : ToIndexed(in, plan, o);
        const double readSeconds = SecondsSince(readStart);

        WriterOptions w;
        w.width = static_cast<uint16_t>(in.width);
        w.height = static_cast<uint16_t>(in.height);
        w.frameFormat = plan.chunky ? (plan.delta ? 3 : 4) : 0;
        w.depth = c.depth;
        w.ham = plan.kind == Plan::Kind::Ham;
        w.palette = c.palette;
        w.framePalette = o.framePalette;
        w.delta = plan.delta;
        w.deltaUnit = plan.deltaUnit;
        w.narrowDeltaUnit = true;
        w.keyFrames = plan.keyFrames;
        w.storage = plan.storage;
        for (const auto& f : in.frames) w.delays.push_back(TicksFor(f, o));
        w.defaultDelay = w.delays.front();
        in.frames.clear();

        const auto packStart = std::chrono::steady_clock::now();
        encode::WriteStats stats;
        std::vector<uint8_t> file;
        try {
            Progress progress("pack", c.frames.size());  // its line ends before any message
            w.onFrameStored = [&progress](size_t done) { progress.Step(done); };
            file = encode::WriteYafa(c.frames, w, &stats);
        } catch (const std::invalid_argument& e) {
            Fail(o.out, e.what());
        }
        w.onFrameStored = nullptr;
        const double packSeconds = SecondsSince(packStart);
        WriteOutput(o.out, file);

        if (!c.note.empty()) Complain(kExitOk, o.out, "note: " + c.note);
        if (plan.delta && stats.deltaUnit != plan.deltaUnit)
            Complain(kExitOk, o.out,
                     "note: " + std::to_string(plan.deltaUnit) +
                         "-byte delta columns cannot reach every change at width " + std::to_string(in.width) +
                         "; written with " + std::to_string(stats.deltaUnit) + "-byte columns");
        if (o.stats) std::fputs(FormatPackStats(stats, w, readSeconds, packSeconds).c_str(), stdout);
        return kExitOk;
    } catch (const PackFailure& f) {
        return Complain(kExitOpen, f.subject, f.message);
    } catch (const std::bad_alloc&) {
        return Complain(kExitOpen, o.out, "out of memory");
    }
}

}  // namespace yafa::tool
