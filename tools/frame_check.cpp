#include "frame_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "command_support.h"
#include "io/host_services.h"
#include "plugin/core_api.h"
#include "progress.h"
#include "yafa_file.h"

namespace yafa::tool {
namespace {

// Frames that fail only because playback goes through an earlier failing one.
constexpr const char* kThroughId = "played_through_failing_frame";

std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// The reason of a frame's failure, with what its place in the file adds.
std::string FrameReasonText(Status status, const FramePlace& place, uint64_t fileSize, uint64_t maxFrameBytes) {
    const bool known = !place.storage.empty();
    switch (status) {
    case Status::FileEndsInsideFrame:
        if (known && fileSize > place.offset) return "the file ends " + Bytes(fileSize - place.offset) + " into the frame";
        break;
    case Status::FrameStartsPastEndOfFile:
        if (known && fileSize <= place.offset)
            return "the frame starts at byte " + std::to_string(place.offset) + ", past the end of the file (" +
                   Bytes(fileSize) + ")";
        break;
    case Status::FrameShorterThanTag:
        if (known && place.length >= 0)
            return "the stored frame is " + Bytes(uint64_t(place.length)) + ", shorter than its 4-byte tag";
        break;
    case Status::FrameLargerThanGeometry:
        // A raw frame is its stored bytes; packed ones declare their size inside.
        if (place.storage == "raw" && place.length >= 0 && maxFrameBytes)
            return "the frame is " + Bytes(uint64_t(place.length)) + ", larger than any frame of this size (at most " +
                   std::to_string(maxFrameBytes) + ")";
        if (known && maxFrameBytes)
            return std::string(StatusPhrase(status)) + " (at most " + Bytes(maxFrameBytes) + ")";
        break;
    case Status::XpkUnknownMethod:
        if (place.storage.starts_with("XPK-") && place.storage != "XPK-?")
            return "the XPK method " + place.storage.substr(4) + " is not FAST, NUKE or RAKE";
        break;
    default:
        break;
    }
    return StatusPhrase(status);
}

// Why the core refused to open `path`, with what the file adds.
std::string OpenReasonText(Status status, const std::string& path) {
    std::string error;
    switch (status) {
    case Status::CannotOpenFile:
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
        } else {
            return std::strerror(errno);
        }
        break;
    case Status::FrameFormatUnknown:
        if (!ReadYafaLayout(path, &error)) return error;  // names the format
        break;
    case Status::GeometryTooLarge:
        if (const auto l = ReadYafaLayout(path, &error))
            return "a frame of " + std::to_string(l->width) + " x " + std::to_string(l->height) + " at depth " +
                   std::to_string(l->depth) + " needs more than 4 GiB";
        break;
    default:
        break;
    }
    return StatusPhrase(status);
}

struct AnimCloser {
    void operator()(AnimHandle* anim) const noexcept { CloseAnimation(anim); }
};

// "bytes 120-519", "from byte 120" when the file does not say where the
// frame ends, "0 bytes at 120".
std::string ByteRange(uint64_t first, const FramePlace& last) {
    if (last.length < 0) return "from byte " + std::to_string(first);
    const uint64_t end = last.offset + uint64_t(last.length);
    if (end <= first) return "0 bytes at " + std::to_string(first);
    return "bytes " + std::to_string(first) + "-" + std::to_string(end - 1);
}

// "frame 3", "frames 3-9".
std::string FrameNumbers(int32_t first, int32_t last) {
    return first == last ? "frame " + std::to_string(first)
                         : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

CoreHost::CoreHost(host::StandInHost& host) { SetHost(host.base()); }
CoreHost::~CoreHost() { SetHost(nullptr); }

int AnimationCheck::exitCode() const {
    if (!opened()) return kExitOpen;
    return failing > 0 ? kExitFrame : kExitOk;
}

AnimationCheck CheckAnimation(const Input& input, const YafaLayout* layout, uint64_t maxPixels) {
    AnimationCheck c;
    AnimOpenInfo info{};
    AnimHandle* handle = nullptr;
    c.openStatus = OpenAnimation(input.path().c_str(), info, &handle);
    if (c.openStatus != Status::Ok) {
        c.openReason = OpenReasonText(c.openStatus, input.path());
        return c;
    }
    const std::unique_ptr<AnimHandle, AnimCloser> anim(handle);
    c.width = info.width;
    c.height = info.height;
    c.refusal = FrameSizeRefusal(uint32_t(c.width), uint32_t(c.height), maxPixels);
    if (!c.refusal.empty()) return c;
    c.delta = anim->hasDelta();

    const std::vector<FrameStorage> storage = layout ? ReadFrameStorage(input.path(), *layout) : std::vector<FrameStorage>{};
    const uint64_t fileSize = layout ? layout->fileSize : 0;
    c.frames.resize(size_t(info.frameCount));
    Progress progress("check", c.frames.size());
    for (int32_t i = 0; i < info.frameCount; ++i) {
        FrameReport report;
        FrameResult& f = c.frames[size_t(i)];
        f.status = PlayFrame(*anim, i, nullptr, &report);
        f.unpackedBytes = report.unpackedBytes;
        f.place.offset = report.fileOffset;
        f.place.length = report.storedLengthKnown ? int64_t(report.storedBytes) : -1;
        if (size_t(i) < storage.size()) f.place.storage = storage[size_t(i)].method;
        f.throughFrame = c.delta ? c.firstFailure : -1;
        if (f.status != Status::Ok) {
            f.reason = FrameReasonText(f.status, f.place, fileSize, anim->maxFrameBytes);
            ++c.broken;
            if (c.firstFailure < 0) c.firstFailure = i;
            // Playback starts again from frame 0 after a failure; going on
            // from the next frame instead replays nothing.
            if (c.delta) anim->nextFrame = i + 1;
        }
        c.failing += f.fails();
        progress.Step(uint64_t(i) + 1);
    }
    return c;
}

std::vector<std::string> ProblemLines(const std::string& name, const AnimationCheck& c) {
    std::vector<std::string> lines;
    const auto count = int32_t(c.frames.size());
    auto at = [&c](int32_t i) -> const FrameResult& { return c.frames[size_t(i)]; };
    std::vector<std::pair<int32_t, int32_t>> through;  // frames failing only through an earlier one
    for (int32_t i = 0; i < count;) {
        const FrameResult& f = at(i);
        int32_t last = i;
        if (f.status == Status::Ok) {
            while (last + 1 < count && at(last + 1).status == Status::Ok) ++last;
            if (f.throughFrame >= 0) through.emplace_back(i, last);
        } else {
            // Neighbours that fail for the same reason in the same storage.
            while (last + 1 < count && at(last + 1).status == f.status && at(last + 1).place.storage == f.place.storage)
                ++last;
            lines.push_back(name + ": " + FrameNumbers(i, last) + " (" + (f.place.storage.empty() ? "?" : f.place.storage) +
                            ", " + ByteRange(f.place.offset, at(last).place) +
                            "): " + (last == i ? f.reason : std::string(StatusPhrase(f.status))));
        }
        i = last + 1;
    }
    if (!through.empty()) {
        int32_t frames = 0;
        std::string spans;
        for (const auto& [first, last] : through) {
            frames += last - first + 1;
            if (!spans.empty()) spans += ", ";
            spans += std::to_string(first);
            if (last != first) spans.append(1, '-').append(std::to_string(last));
        }
        const std::string via = std::to_string(c.firstFailure);
        if (through.size() > 4) {
            lines.push_back(name + ": " + std::to_string(frames) + " more frames after frame " + via +
                            " fail too: playback goes through it to reach them");
        } else {
            const bool one = frames == 1;
            lines.push_back(name + ": " + (one ? "frame " : "frames ") + spans + (one ? " fails" : " fail") +
                            " too: playback goes through frame " + via + " to reach " + (one ? "it" : "them"));
        }
    }
    return lines;
}

std::string FailingCount(const AnimationCheck& c) {
    return std::to_string(c.failing) + " of " + std::to_string(c.frames.size()) +
           (c.failing == 1 ? " frames fails" : " frames fail");
}

std::string SummaryLine(const std::string& name, const AnimationCheck& c) {
    const std::string total = std::to_string(c.frames.size());
    if (c.failing == 0) return name + ": ok, " + total + (c.frames.size() == 1 ? " frame" : " frames");
    std::string line = name + ": " + FailingCount(c);
    if (c.failing > c.broken)
        line += ": " + std::to_string(c.broken) + " broken, " + std::to_string(c.failing - c.broken) +
                " played through a broken one";
    return line;
}

nlohmann::ordered_json FrameChecksJson(const AnimationCheck& c) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (size_t i = 0; i < c.frames.size(); ++i) {
        const FrameResult& f = c.frames[i];
        nlohmann::ordered_json j;
        j["index"] = i;
        j["storage"] = f.place.storage;
        j["offset"] = f.place.offset;
        j["stored_bytes"] = f.place.length >= 0 ? nlohmann::ordered_json(f.place.length) : nullptr;
        j["unpacked_bytes"] = f.unpackedBytes;
        if (f.status != Status::Ok) {
            j["result"] = StatusName(f.status);
            j["phrase"] = StatusPhrase(f.status);
            j["message"] = f.reason;
        } else if (f.throughFrame >= 0) {
            j["result"] = kThroughId;
            j["message"] = "playback goes through frame " + std::to_string(f.throughFrame) + " to reach it";
        } else {
            j["result"] = "ok";
        }
        if (f.throughFrame >= 0) j["through_frame"] = f.throughFrame;
        list.push_back(std::move(j));
    }
    return list;
}

std::string OpenFailureReason(const Input& input, int32_t hostVersion, int32_t hostRevision, bool indexed) {
    host::StandInHost host(hostVersion, hostRevision);
    CoreHost core(host);
    AnimOpenInfo info{};
    info.flags = indexed ? ANIM_REQUEST_INDEXED : 0;
    AnimHandle* anim = nullptr;
    const Status status = OpenAnimation(input.path().c_str(), info, &anim);
    if (status == Status::Ok) {
        CloseAnimation(anim);
        return "the plugin refused the animation";
    }
    return OpenReasonText(status, input.path());
}

std::string FrameFailureReason(const Input& input, int32_t requested, FailureRecord failure) {
    FramePlace place;
    uint64_t fileSize = 0, maxFrameBytes = 0;
    std::string error;
    if (const auto layout = ReadYafaLayout(input.path(), &error); layout && failure.frame >= 0) {
        const std::vector<FrameStorage> storage = ReadFrameStorage(input.path(), *layout);
        if (size_t(failure.frame) < storage.size()) {
            const FrameStorage& s = storage[size_t(failure.frame)];
            place = {s.offset, s.length, s.method};
        }
        fileSize = layout->fileSize;
        maxFrameBytes = layout->maxFrameBytes;
    }
    const std::string reason = FrameReasonText(failure.status, place, fileSize, maxFrameBytes);
    if (failure.frame < 0 || failure.frame == requested) return reason;
    return "playback goes through frame " + std::to_string(failure.frame) + ", which fails: " + reason;
}

}  // namespace yafa::tool
