// yafa pack: a YAFA animation from PNG frames or an animated GIF.
//
// Pictures of at most 256 colours are stored exactly: one palette for all
// frames when their colours fit in it together, else (with --frame-palette)
// a palette per frame. More colours are stored as 24-bit true colour, unless
// the options ask for a palette (--quantize) or another depth; --ham6 and
// --ham8 approximate by their nature.
//
// The pictures are read twice, one frame at a time: first to learn their
// size, colours and delays, then to convert and store each frame. Memory
// thus follows one frame and the packed output, not the frame count.
#include <libimagequant.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <set>
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
    // Nothing asks for a palette, so more than 256 colours become true colour.
    bool trueColourIfNeeded = false;
    size_t Limit() const { return kind == Kind::Ham ? (hamDepth == 8 ? 64 : 16) : depth ? size_t{1} << depth : 256; }
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
    p.trueColourIfNeeded = p.kind == Plan::Kind::Indexed && !o.depth && !o.quantize && !o.framePalette &&
                           !(o.layout && *o.layout == "planar") && !o.delta && !o.deltaUnit && !o.keyFrames;
    return p;
}

// --- Colour reduction --------------------------------------------------------

// A palette of at most maxColours for all the pictures added together.
class PaletteQuantiser {
public:
    PaletteQuantiser(int maxColours, std::string subject) : maxColours_(maxColours), subject_(std::move(subject)) {
        UseOneQuantiserThread();
        attr_.reset(liq_attr_create());
        if (!attr_ || liq_set_max_colors(attr_.get(), std::max(maxColours, 2)) != LIQ_OK)
            Fail(subject_, "the colour quantiser cannot start");
        histogram_.reset(liq_histogram_create(attr_.get()));
        if (!histogram_) Fail(subject_, "the colour quantiser cannot start");
    }
    void Add(const std::vector<uint32_t>& picture, uint32_t width, uint32_t height) {
        rgba_.resize(picture.size() * 4);
        for (size_t i = 0; i < picture.size(); ++i) {
            const uint32_t c = picture[i];
            rgba_[4 * i] = static_cast<uint8_t>(c >> 16);
            rgba_[4 * i + 1] = static_cast<uint8_t>(c >> 8);
            rgba_[4 * i + 2] = static_cast<uint8_t>(c);
            rgba_[4 * i + 3] = 255;
        }
        LiqPtr<liq_image> image(
            liq_image_create_rgba(attr_.get(), rgba_.data(), static_cast<int>(width), static_cast<int>(height), 0));
        if (!image || liq_histogram_add_image(histogram_.get(), attr_.get(), image.get()) != LIQ_OK)
            Fail(subject_, "the colour quantiser failed");
    }
    std::vector<uint32_t> Palette() {
        liq_result* raw = nullptr;
        if (liq_histogram_quantize(histogram_.get(), attr_.get(), &raw) != LIQ_OK)
            Fail(subject_, "the colour quantiser failed");
        LiqPtr<liq_result> result(raw);
        const liq_palette* palette = liq_get_palette(result.get());
        std::vector<uint32_t> colours;
        for (unsigned i = 0; i < palette->count && colours.size() < size_t(maxColours_); ++i) {
            const liq_color& c = palette->entries[i];
            colours.push_back(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
        }
        if (colours.empty()) colours.push_back(0);
        return colours;
    }

private:
    int maxColours_;
    std::string subject_;
    LiqPtr<liq_attr> attr_;
    LiqPtr<liq_histogram> histogram_;
    std::vector<uint8_t> rgba_;
};

std::vector<uint32_t> QuantiseOne(const std::vector<uint32_t>& picture, uint32_t width, uint32_t height,
                                  int maxColours, const std::string& subject) {
    PaletteQuantiser q(maxColours, subject);
    q.Add(picture, width, height);
    return q.Palette();
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
    // (A pixel of the colour before it needs no look-up: pictures have runs.)
    bool Add(const std::vector<uint32_t>& rgb, std::vector<uint16_t>* ids = nullptr) {
        if (ids) ids->resize(rgb.size());
        uint32_t last = 0;
        uint16_t id = 0;
        for (size_t n = 0; n < rgb.size(); ++n) {
            if (n == 0 || rgb[n] != last) {
                auto [it, inserted] = number_.try_emplace(rgb[n], static_cast<uint16_t>(colours_.size()));
                if (inserted) {
                    if (colours_.size() == limit_) return false;
                    colours_.push_back(rgb[n]);
                }
                last = rgb[n];
                id = it->second;
            }
            if (ids) (*ids)[n] = id;
        }
        return true;
    }
    // The colour numbers of a picture whose colours are all in the table.
    std::vector<uint8_t> Numbers(const std::vector<uint32_t>& rgb) const {
        std::vector<uint8_t> numbers(rgb.size());
        uint32_t last = 0;
        uint8_t id = 0;
        for (size_t n = 0; n < rgb.size(); ++n) {
            if (n == 0 || rgb[n] != last) last = rgb[n], id = static_cast<uint8_t>(number_.at(rgb[n]));
            numbers[n] = id;
        }
        return numbers;
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

std::string TooManyColours(size_t limit, bool together, const PackCommandOptions& o) {
    std::string text = together
                           ? "the frames up to this one have more than " + std::to_string(limit) + " colours together"
                           : "the picture has more than " + std::to_string(limit) + " colours";
    if (o.depth) text += " (--depth " + std::to_string(*o.depth) + ")";
    text += "; give ";
    if (together && !o.framePalette) text += "--frame-palette for a palette per frame, ";
    return text + "--quantize to reduce them, or --depth 24 (or 15) for true colour";
}

// --- First pass: what the pictures hold -------------------------------------

// One note per kind of change: how many inputs had it, and the first.
struct Tally {
    size_t count = 0;
    std::string first;
    void Add(const std::string& what) {
        if (count++ == 0) first = what;
    }
    std::string Text(const std::string& noun) const {
        return first + (count > 1 ? " and " + std::to_string(count - 1) + " other " + noun : std::string());
    }
};

struct Survey {
    explicit Survey(size_t limit) : shared(limit) {}
    uint32_t width = 0, height = 0;
    size_t frames = 0;
    std::vector<uint16_t> ticks;
    // Every frame's colours in one table, and where it overflowed.
    ColourTable shared;
    std::string sharedOverflow;
    // The most colours of one frame (up to the limit), and the first that had more.
    size_t frameColours = 1;
    std::string frameOverflow;
    // Palette PNGs whose indices may be kept: the largest index used, and their palettes.
    bool allIndexed = true;
    size_t usedIndices = 1;
    std::set<std::vector<uint32_t>> palettes;
    std::unique_ptr<PaletteQuantiser> quantiser;  // all frames, when a shared palette may need it
    size_t rounded15 = 0;                         // pixels rounded to RGB15
    Tally translucent, deep, zeroDelays, oddDelays;
};

uint16_t TicksFor(const InputFrame& f, const PackCommandOptions& o, Survey& s) {
    if (o.delayTicks) return static_cast<uint16_t>(*o.delayTicks);
    if (o.delayMs) return static_cast<uint16_t>(std::clamp((*o.delayMs + 10) / 20, 1, 65535));
    if (f.delayCs == 0) s.zeroDelays.Add(f.source);
    // GIF delays count 1/100 s: two to a tick, halves rounded up.
    if (f.delayCs > 0) {
        if (f.delayCs % 2) s.oddDelays.Add(std::to_string(f.delayCs * 10) + " ms to " + std::to_string(f.delayCs * 10 + 10) + " ms");
        return static_cast<uint16_t>(std::clamp((f.delayCs + 1) / 2, 1, 65535));
    }
    return kDefaultTicks;
}

// 15-bit colours keep the top five bits of each component: exact only for
// multiples of 8. Rounds to the nearest (with --quantize) or refuses.
size_t RoundTo15(InputFrame& f, uint32_t width, bool round, bool refuse) {
    size_t rounded = 0;
    for (size_t n = 0; n < f.rgb.size(); ++n) {
        uint32_t& px = f.rgb[n];
        if ((px & 0x070707u) == 0) continue;
        if (refuse)
            Fail(f.source, "colour " + Hex(px) + " at (" + std::to_string(n % width) + ", " + std::to_string(n / width) +
                               ") is not exact at depth 15 (components are multiples of 8); give --quantize "
                               "to round the colours, or --depth 24");
        if (round) {
            uint32_t v = 0;
            for (int shift : {16, 8, 0}) v |= std::min<uint32_t>(248, (((px >> shift) & 255) + 4) & ~7u) << shift;
            px = v;
        }
        ++rounded;
    }
    return rounded;
}

Survey SurveyFrames(FrameSource& source, const Plan& plan, const PackCommandOptions& o) {
    const size_t limit = plan.Limit();
    Survey s(limit);
    const bool sharedQuantiser =
        !o.framePalette && ((plan.kind == Plan::Kind::Indexed && o.quantize) || plan.kind == Plan::Kind::Ham);
    Progress progress("read", source.knownCount());
    InputFrame f;
    InputError error;
    while (source.Next(&f, &error)) {
        if (s.frames == 0) {
            s.width = source.width();
            s.height = source.height();
            if (sharedQuantiser) s.quantiser = std::make_unique<PaletteQuantiser>(int(limit), o.out);
        }
        ++s.frames;
        s.ticks.push_back(TicksFor(f, o, s));
        if (f.translucent) s.translucent.Add(f.source);
        if (f.deepSamples) s.deep.Add(f.source);
        if (plan.kind == Plan::Kind::TrueColour) {
            if (plan.depth == 15) s.rounded15 += RoundTo15(f, s.width, false, !o.quantize);
            progress.Step(s.frames);
            continue;
        }
        if (s.sharedOverflow.empty() && !s.shared.Add(f.rgb)) s.sharedOverflow = f.source;
        if (o.framePalette) {
            ColourTable own(limit);
            if (own.Add(f.rgb)) {
                s.frameColours = std::max(s.frameColours, own.colours().size());
            } else {
                s.frameColours = limit;
                if (s.frameOverflow.empty()) s.frameOverflow = f.source;
            }
        }
        if (f.indices.empty()) {
            s.allIndexed = false;
        } else if (s.allIndexed) {
            s.usedIndices = std::max<size_t>(s.usedIndices, *std::max_element(f.indices.begin(), f.indices.end()) + 1u);
            s.palettes.insert(f.palette);
        }
        if (s.quantiser) s.quantiser->Add(f.rgb, s.width, s.height);
        progress.Step(s.frames);
    }
    if (!error.message.empty()) Fail(error.subject, error.message);
    return s;
}

// --- Settling the plan -------------------------------------------------------

enum class Colours {
    FilePalettes,  // palette PNGs: their indices, and their palette(s)
    Shared,        // one palette of the colours as they come
    Quantised,     // one palette from the quantiser, pixels mapped to it
    PerFrame,      // a palette per frame
    TrueColour,
    Ham,
};

struct Settled {
    Colours colours = Colours::Shared;
    int depth = 0;
    std::vector<uint32_t> palette;  // DRGB; for HAM the base colours shared by all frames
};

// The first `used` entries of a file palette, black where it is shorter.
std::vector<uint32_t> Head(const std::vector<uint32_t>& palette, size_t used) {
    std::vector<uint32_t> h(palette.begin(), palette.begin() + std::ptrdiff_t(std::min(used, palette.size())));
    h.resize(used, 0);
    return h;
}

Settled Settle(Plan& plan, Survey& s, const PackCommandOptions& o) {
    const size_t limit = plan.Limit();
    Settled c;
    if (plan.kind == Plan::Kind::TrueColour) {
        c.colours = Colours::TrueColour;
        c.depth = plan.depth;
        if (s.rounded15) Note(OutputFile::NameOf(o.out), std::to_string(s.rounded15) + " pixel(s) rounded to 15-bit colours");
        return c;
    }
    if (plan.kind == Plan::Kind::Ham) {
        c.colours = Colours::Ham;
        c.depth = plan.hamDepth;
        if (!o.framePalette) c.palette = s.sharedOverflow.empty() ? s.shared.colours() : s.quantiser->Palette();
        return c;
    }
    // Palette PNGs keep their indices and palette order, which their author
    // may have chosen with care (in bitplanes, colours whose indices differ
    // in one bit differ in one plane): when every frame is one whose indices
    // fit, and they share their palette or --frame-palette gives each frame
    // its own.
    bool keep = s.allIndexed && s.usedIndices <= limit;
    if (keep && !o.framePalette) {
        const std::vector<uint32_t> first = Head(*s.palettes.begin(), s.usedIndices);
        for (const auto& palette : s.palettes) keep = keep && Head(palette, s.usedIndices) == first;
        if (keep) c.palette = first;
    }
    if (keep) {
        c.colours = Colours::FilePalettes;
        c.depth = plan.depth ? plan.depth : DepthFor(s.usedIndices);
        return c;
    }
    if (o.framePalette) {
        if (!s.frameOverflow.empty() && !o.quantize) Fail(s.frameOverflow, TooManyColours(limit, false, o));
        c.colours = Colours::PerFrame;
        c.depth = plan.depth ? plan.depth : DepthFor(s.frameColours);
        return c;
    }
    if (s.sharedOverflow.empty()) {
        c.colours = Colours::Shared;
        c.palette = s.shared.colours();
    } else if (o.quantize) {
        c.colours = Colours::Quantised;
        c.palette = s.quantiser->Palette();
        Note(OutputFile::NameOf(o.out), "the frames have more than " + std::to_string(limit) + " colours; reduced to " +
                        std::to_string(c.palette.size()));
    } else if (plan.trueColourIfNeeded) {
        // True colour is the only way to keep every colour.
        plan.kind = Plan::Kind::TrueColour;
        plan.depth = 24;
        plan.chunky = true;
        plan.delta = false;
        c.colours = Colours::TrueColour;
        c.depth = 24;
        Note(OutputFile::NameOf(o.out), "the pictures have more than 256 colours together, so they are stored as 24-bit true colour "
                    "(chunky RGB24, no deltas); --quantize reduces them to a palette instead");
        return c;
    } else {
        Fail(s.sharedOverflow, TooManyColours(limit, true, o));
    }
    c.depth = plan.depth ? plan.depth : DepthFor(c.palette.size());
    return c;
}

// --- Second pass: converting and storing -------------------------------------

class FrameConverter {
public:
    FrameConverter(const Settled& c, const Survey& s, const Plan& plan, const PackCommandOptions& o)
        : c_(c), s_(s), plan_(plan), o_(o) {}

    Frame Convert(InputFrame& f) {
        const size_t limit = plan_.Limit();
        Frame frame;
        switch (c_.colours) {
            case Colours::FilePalettes:
                frame.indices = std::move(f.indices);
                if (o_.framePalette) frame.palette = Head(f.palette, s_.usedIndices);
                break;
            case Colours::Shared: frame.indices = s_.shared.Numbers(f.rgb); break;
            case Colours::Quantised: frame.indices = MapToPalette(f.rgb, c_.palette); break;
            case Colours::PerFrame: {
                ColourTable table(limit);
                std::vector<uint16_t> ids;
                std::vector<uint32_t> colours;
                if (table.Add(f.rgb, &ids)) {
                    colours = table.colours();
                } else {
                    colours = QuantiseOne(f.rgb, s_.width, s_.height, static_cast<int>(limit), o_.out);
                    const std::vector<uint8_t> indices = MapToPalette(f.rgb, colours);
                    ids.assign(indices.begin(), indices.end());
                    ++quantised_;
                }
                const std::vector<int> slots = AssignSlots(ids, colours.size(), before_.empty() ? nullptr : &before_);
                frame.indices.resize(ids.size());
                for (size_t n = 0; n < ids.size(); ++n) frame.indices[n] = static_cast<uint8_t>(slots[ids[n]]);
                // Carried on, so slots a frame leaves unused keep their colours.
                for (size_t k = 0; k < colours.size(); ++k) {
                    const auto slot = static_cast<size_t>(slots[k]);
                    if (palette_.size() <= slot) palette_.resize(slot + 1, 0);
                    palette_[slot] = colours[k];
                }
                frame.palette = palette_;
                before_ = frame.indices;
                break;
            }
            case Colours::TrueColour:
                if (plan_.depth == 15) RoundTo15(f, s_.width, true, false);
                frame.rgb = std::move(f.rgb);
                break;
            case Colours::Ham: {
                std::vector<uint32_t> own;
                if (o_.framePalette) {
                    ColourTable table(limit);
                    own = table.Add(f.rgb) ? table.colours()
                                           : QuantiseOne(f.rgb, s_.width, s_.height, static_cast<int>(limit), o_.out);
                    frame.palette = own;
                }
                frame.indices = encode::EncodeHam(f.rgb, s_.width, s_.height, o_.framePalette ? own : c_.palette,
                                                  plan_.hamDepth);
                break;
            }
        }
        return frame;
    }
    size_t quantised() const { return quantised_; }

private:
    const Settled& c_;
    const Survey& s_;
    const Plan& plan_;
    const PackCommandOptions& o_;
    std::vector<uint8_t> before_;   // the indices of the frame before (palette per frame)
    std::vector<uint32_t> palette_;
    size_t quantised_ = 0;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SayNotes(const Survey& s, const PackCommandOptions& o, const std::string& firstInput) {
    if (s.translucent.count)
        Note(s.translucent.Text("picture(s)"), "partly transparent pixels laid over black (YAFA has no transparency)");
    if (s.deep.count) Note(s.deep.Text("picture(s)"), "16-bit samples rounded to 8 bits");
    if (s.zeroDelays.count)
        Note(s.zeroDelays.Text("frame(s)"), "a delay of 0, which viewers show for 100 ms, stored as 100 ms");
    if (s.oddDelays.count)
        Note(firstInput, std::to_string(s.oddDelays.count) +
                                   " GIF delay(s) rounded up to ticks of 1/50 s (" + s.oddDelays.first + ")");
    if (o.delayMs && *o.delayMs % 20 != 0)
        Note("--delay-ms " + std::to_string(*o.delayMs),
             "stored as " + std::to_string(std::clamp((*o.delayMs + 10) / 20, 1, 65535) * 20) +
                 " ms, in ticks of 1/50 s");
}

}  // namespace

int RunPack(const PackCommandOptions& o) {
    try {
        Plan plan = MakePlan(o);

        if (std::count(o.inputs.begin(), o.inputs.end(), "-") > 1)
            Fail(Input::kStandardInput, "can be read only once; give - once");
        std::vector<Input> inputs;
        for (const std::string& argument : o.inputs) {
            std::string error;
            auto input = Input::Open(argument, &error);
            if (!input) Fail(Input::kStandardInput, error);
            inputs.push_back(std::move(*input));
        }
        // The output must not be one of the pictures: with the arguments the
        // wrong way round, an input would be written over.
        OutputRules rules{o.force, {}, "the output comes first: yafa pack OUT.yafa INPUT..."};
        std::vector<const Input*> sources;
        for (const Input& input : inputs) {
            rules.inputs.push_back(input.path());
            sources.push_back(&input);
        }
        if (o.out != "-") {
            std::ifstream existing(o.out, std::ios::binary);
            char head[6] = {};
            existing.read(head, sizeof head);
            const std::string magic(head, static_cast<size_t>(existing.gcount()));
            if (magic.starts_with("\x89PNG") || magic.starts_with("GIF8"))
                Fail(o.out, "is a picture, never written over; " + rules.hint);
        }
        std::string error;
        if (!OutputFile::Check(o.out, rules, &error)) Fail(OutputFile::NameOf(o.out), error);

        InputError inputError;
        const auto source = FrameSource::Open(sources, o.maxPixels, &inputError);
        if (!source) Fail(inputError.subject, inputError.message);
        const auto readStart = std::chrono::steady_clock::now();
        Survey survey = SurveyFrames(*source, plan, o);
        const Settled settled = Settle(plan, survey, o);
        const double readSeconds = SecondsSince(readStart);

        WriterOptions w;
        w.width = static_cast<uint16_t>(survey.width);
        w.height = static_cast<uint16_t>(survey.height);
        w.frameFormat = plan.chunky ? (plan.delta ? 3 : 4) : 0;
        w.depth = settled.depth;
        w.ham = plan.kind == Plan::Kind::Ham;
        if (settled.colours != Colours::PerFrame && !(w.ham && o.framePalette)) w.palette = settled.palette;
        w.framePalette = o.framePalette;
        w.delta = plan.delta;
        w.deltaUnit = plan.deltaUnit;
        w.keyFrames = plan.keyFrames;
        w.storage = plan.storage;
        w.delays = survey.ticks;
        w.defaultDelay = w.delays.front();

        // Where the delta columns cannot reach a change, narrower ones are
        // used: the frames are stored again from the start.
        const auto packStart = std::chrono::steady_clock::now();
        encode::WriteStats stats;
        std::vector<uint8_t> file;
        size_t quantised = 0;
        for (;;) {
            try {
                if (!source->Rewind(&inputError)) Fail(inputError.subject, inputError.message);
                Progress progress("pack", survey.frames);  // its line ends before any message
                w.onFrameStored = [&progress](size_t done) { progress.Step(done); };
                encode::YafaWriter writer(w);
                FrameConverter converter(settled, survey, plan, o);
                InputFrame f;
                while (source->Next(&f, &inputError)) writer.Add(converter.Convert(f));
                if (!inputError.message.empty()) Fail(inputError.subject, inputError.message);
                file = writer.Finish(&stats);
                quantised = converter.quantised();
                break;
            } catch (const encode::DeltaUnitTooWide& e) {
                if (e.unit == 1) Fail(o.out, e.what());
                w.deltaUnit = e.unit / 2;
            } catch (const std::invalid_argument& e) {
                Fail(o.out, e.what());
            }
        }
        w.onFrameStored = nullptr;
        const double packSeconds = SecondsSince(packStart);

        auto out = OutputFile::Create(o.out, rules, &error);
        if (!out) Fail(OutputFile::NameOf(o.out), error);
        if (!out->Write(file.data(), file.size()) || !out->Commit(&error)) Fail(out->name(), error.empty() ? "cannot write" : error);

        SayNotes(survey, o, inputs.front().name());
        if (quantised)
            Note(OutputFile::NameOf(o.out), std::to_string(quantised) + " frame(s) with more than " + std::to_string(plan.Limit()) +
                            " colours reduced to a palette of their own");
        if (plan.delta && stats.deltaUnit != plan.deltaUnit)
            Note(OutputFile::NameOf(o.out), std::to_string(plan.deltaUnit) + "-byte delta columns cannot reach every change at width " +
                            std::to_string(survey.width) + "; written with " + std::to_string(stats.deltaUnit) +
                            "-byte columns");
        if (o.stats) std::fputs(FormatPackStats(stats, w, readSeconds, packSeconds).c_str(), stdout);
        return kExitOk;
    } catch (const PackFailure& f) {
        return Complain(kExitOpen, f.subject, f.message);
    } catch (const std::bad_alloc&) {
        return Complain(kExitOpen, o.out, "out of memory");
    }
}

}  // namespace yafa::tool
