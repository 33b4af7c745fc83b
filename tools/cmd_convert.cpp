// yafa convert: a looping animated GIF or WebP, chosen by the output's
// extension (or --format). WebP is lossless with every delay exact. GIF
// keeps the pixels of animations of up to 256 colours exactly (one colour
// table when all frames fit in it, else one per frame); frames of more are
// quantised to one palette for the whole animation.
#include <algorithm>
#include <cctype>

#include "colour_reduction.h"
#include "command_support.h"
#include "commands.h"
#include "frame_check.h"
#include "gif_writer.h"
#include "progress.h"
#include "webp_writer.h"

namespace yafa::tool {
namespace {

enum class Format { Gif, Webp };

std::string Extension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

// Decodes frames [0, count) in order, calling use(index, pixels) for each;
// stops at the first frame that fails and returns its index, else -1.
template <typename Use>
int32_t ForFrames(AnimSession& session, int32_t count, Use use) {
    for (int32_t i = 0; i < count; ++i) {
        const LoadedFrame frame = session.Load(i);
        if (!frame) return i;
        if (!use(i, frame.words())) return -1;
    }
    return -1;
}

struct Conversion {
    AnimSession& session;
    OutputFile& out;
    std::string error;  // set with the failure of a write
    int32_t failedFrame = -1;
    int32_t framesWritten = 0;
};

bool WriteWebp(Conversion& c) {
    AnimSession& s = c.session;
    WebpAnimationWriter webp;
    if (!webp.Open(uint32_t(s.width()), uint32_t(s.height()), &c.error)) return false;
    Progress progress("convert", uint64_t(s.frameCount()));
    int32_t zeroDelays = 0;
    bool ok = true;
    c.failedFrame = ForFrames(s, s.frameCount(), [&](int32_t i, const uint32_t* pixels) {
        const int32_t delay = s.DelayMs(i);
        zeroDelays += delay <= 0;
        ok = webp.AddFrame(pixels, delay, &c.error);
        if (ok) c.framesWritten = i + 1;
        progress.Step(uint64_t(i) + 1);
        return ok;
    });
    if (!ok || c.framesWritten == 0) return ok;
    std::vector<uint8_t> file;
    if (!webp.Finish(&file, &c.error)) return false;
    if (!c.out.Write(file.data(), file.size())) {
        c.error = "cannot write";
        return false;
    }
    if (zeroDelays)
        Note(c.out.name(), std::to_string(zeroDelays) + " frame(s) with a delay of 0 ms last 1 ms, the shortest a "
                                                        "WebP frame can");
    return true;
}

bool WriteGif(Conversion& c) {
    AnimSession& s = c.session;
    const auto width = uint32_t(s.width()), height = uint32_t(s.height());
    const size_t pixelCount = size_t{width} * height;

    // First pass: are all colours one table's worth, and does every frame
    // fit a table of its own?
    ColourSet all(256);
    bool everyFrameFits = true;
    c.failedFrame = ForFrames(s, s.frameCount(), [&](int32_t, const uint32_t* pixels) {
        all.Add(pixels, pixelCount);
        if (all.overflowed() && everyFrameFits) everyFrameFits = ColourSet(256).Add(pixels, pixelCount);
        return true;
    });
    const int32_t frames = c.failedFrame >= 0 ? c.failedFrame : s.frameCount();
    if (frames == 0) return true;
    // A frame that does not fit makes the whole animation quantised, so
    // that every frame shares one palette and still parts stay still; the
    // quantiser sees every frame first.
    const bool quantise = all.overflowed() && !everyFrameFits;
    AnimationQuantiser quantiser;
    if (quantise) {
        ForFrames(s, frames, [&](int32_t, const uint32_t* pixels) {
            return quantiser.Survey(pixels, width, height, &c.error);
        });
        if (!c.error.empty() || !quantiser.MakePalette(&c.error)) return false;
    }

    GifAnimationWriter gif;
    std::vector<uint32_t> global = quantise ? quantiser.palette() : all.overflowed() ? std::vector<uint32_t>{} : all.colours();
    if (!gif.Open(c.out.stream(), width, height, std::move(global), &c.error)) return false;
    Progress progress("convert", uint64_t(frames));
    int32_t changedDelays = 0;
    std::string example;
    std::vector<uint32_t> mapped;
    ForFrames(s, frames, [&](int32_t i, const uint32_t* pixels) {
        const int32_t ms = s.DelayMs(i);
        const uint16_t cs = GifDelayFromMs(ms);
        if (int32_t{cs} * 10 != ms && changedDelays++ == 0)
            example = " (" + std::to_string(ms) + " ms to " + std::to_string(cs * 10) + " ms)";
        if (quantise && !quantiser.Map(pixels, width, height, &mapped, &c.error)) return false;
        if (!gif.AddFrame(quantise ? mapped.data() : pixels, cs, &c.error)) return false;
        c.framesWritten = i + 1;
        progress.Step(uint64_t(i) + 1);
        return true;
    });
    if (c.framesWritten != frames || !gif.Close(&c.error)) return false;
    if (changedDelays)
        Note(c.out.name(), "GIF delays count 1/100 s, at least 2: " + std::to_string(changedDelays) +
                               " frame delay(s) changed" + example + "; .webp keeps them exactly");
    if (quantise)
        Note(c.out.name(), "frames of more than 256 colours: quantised to one palette of " +
                               std::to_string(quantiser.palette().size()) + " colours; .webp keeps every colour");
    return true;
}

}  // namespace

int RunConvert(const HostOptions& host, const ConvertOptions& options) {
    Format format;
    const std::string ext = options.format ? *options.format : options.out == "-" ? "" : Extension(options.out);
    if (ext == "gif") {
        format = Format::Gif;
    } else if (ext == "webp") {
        format = Format::Webp;
    } else if (options.out == "-") {
        return ComplainUsage("convert", "standard output needs --format gif or --format webp");
    } else {
        return ComplainUsage("convert", options.out + ": convert writes .gif and .webp files" +
                                            (ext.empty() ? std::string() : ", not ." + ext) +
                                            " (or give --format)");
    }

    int exitCode = kExitOk;
    const auto input = OpenInput(options.file, &exitCode);
    if (!input) return exitCode;
    OutputRules rules{options.force, {input->path()}, {}};
    std::string error;
    if (!OutputFile::Check(options.out, rules, &error))
        return Complain(kExitOpen, OutputFile::NameOf(options.out), error);

    auto session = OpenOrComplain(*input, MakeSessionOptions(host, false), &exitCode);
    if (!session) return exitCode;
    if (session->frameCount() <= 0) return Complain(kExitOpen, input->name(), "the animation has no frames");
    auto out = OutputFile::Create(options.out, rules, &error);
    if (!out) return Complain(kExitOpen, OutputFile::NameOf(options.out), error);

    Conversion c{*session, *out, {}, -1, 0};
    const bool ok = format == Format::Webp ? WriteWebp(c) : WriteGif(c);
    if (!ok) return Complain(kExitOpen, out->name(), c.error);
    // The frames before a failed frame still make a valid animation.
    if (c.framesWritten > 0 && !out->Commit(&error)) return Complain(kExitOpen, out->name(), error);
    if (c.failedFrame >= 0)
        return ComplainFrame(input->name(), c.failedFrame,
                             FrameFailureReason(*input, c.failedFrame, session->lastFailure()));
    return kExitOk;
}

}  // namespace yafa::tool
