#include "yafa_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "format/geometry.h"
#include "format/iff.h"
#include "format/storage_name.h"

namespace yafa::tool {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A stdio file as the chunk walk reads it. getc answers EOF (-1) at the end,
// as the stand-in host's readByte does.
class StdioSource final : public ByteSource {
public:
    explicit StdioSource(std::FILE* f) : f_(f) {}
    size_t Read(uint8_t* to, size_t length) noexcept override { return std::fread(to, 1, length, f_); }
    int32_t ReadByte() noexcept override { return std::getc(f_); }
    bool Skip(uint64_t distance) noexcept override {
        return distance <= INT64_MAX && fseeko(f_, static_cast<off_t>(distance), SEEK_CUR) == 0;
    }
    int64_t Position() noexcept override { return ftello(f_); }

private:
    std::FILE* f_;
};

// Keeps what the walk finds in a layout.
struct LayoutFiller : ChunkVisitor {
    explicit LayoutFiller(YafaLayout& layout) : l(layout) {}
    YafaLayout& l;

    Status OnInfo(const InfoFields& info) {
        l.width = info.width, l.height = info.height, l.depth = info.depth, l.defaultDelay = info.defaultDelay;
        l.frameCount = info.frameCount, l.frameFormat = info.frameFormat, l.flags = info.flags;
        l.hasInfo = true;
        return Status::Ok;
    }
    Status OnTable(uint32_t id, uint32_t count, ByteSource& source) {
        if (id == kProfId) {
            l.frameEnds.resize(count);
            for (uint32_t& e : l.frameEnds) e = source.ReadU32BE();
            l.hasProf = true;
        } else {
            for (uint32_t i = 0; i < count; ++i) source.ReadU16BE();
            l.ttblEntries = count;
            l.hasTtbl = true;
        }
        return Status::Ok;
    }
    void OnPalette(uint32_t count) { l.drgbColours = static_cast<int32_t>(count); }
};

InfoFields InfoOf(const YafaLayout& l) {
    return {l.width, l.height, l.depth, l.defaultDelay, l.frameCount, l.frameFormat, l.flags};
}

}  // namespace

std::optional<YafaLayout> ReadYafaLayout(const std::string& path, std::string* error) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = std::strerror(errno);
        return std::nullopt;
    }
    YafaLayout l;
    if (fseeko(file.get(), 0, SEEK_END) == 0) l.fileSize = static_cast<uint64_t>(ftello(file.get()));
    std::rewind(file.get());
    StdioSource source(file.get());
    LayoutFiller filler(l);
    Status status = WalkYafaChunks(source, filler);
    if (status == Status::Ok) {
        l.bodyStart = static_cast<uint64_t>(source.Position());
        // A later INFO may lower the frame count; a table shorter than it
        // is what the plugin refuses.
        if ((l.hasProf && l.frameEnds.size() < l.frameCount) || (l.hasTtbl && l.ttblEntries < l.frameCount))
            status = Status::TableShorterThanFrameCount;
    }
    if (status == Status::FrameFormatUnknown) {
        *error = "INFO gives frame format " + std::to_string(l.frameFormat) + " (0 to 4 are known)";
        return std::nullopt;
    }
    if (status != Status::Ok) {
        *error = StatusPhrase(status);
        return std::nullopt;
    }
    const Geometry g = DeriveGeometry(InfoOf(l));
    l.frameSize = g.frameSize;
    l.maxFrameBytes = g.maxFrameBytes;
    return l;
}

std::vector<FrameStorage> ReadFrameStorage(const std::string& path, const YafaLayout& layout) {
    std::vector<FrameStorage> frames(layout.frameCount);
    FilePtr file(std::fopen(path.c_str(), "rb"));
    for (uint32_t i = 0; i < layout.frameCount; ++i) {
        FrameStorage& s = frames[i];
        const FrameLocation place = LocateFrame(layout.hasProf ? layout.frameEnds.data() : nullptr, layout.frameSize, i);
        s.offset = layout.bodyStart + place.start;
        s.length = place.lengthKnown && (layout.hasProf || layout.frameSize) ? static_cast<int64_t>(place.length) : -1;
        uint8_t head[kStorageHeadBytes] = {};
        const size_t got = file && s.offset < layout.fileSize && fseeko(file.get(), static_cast<off_t>(s.offset), SEEK_SET) == 0
                               ? std::fread(head, 1, sizeof head, file.get())
                               : 0;
        s.method = NameStorage(head, got).text;
    }
    return frames;
}

std::vector<std::string> FlagNames(uint16_t flags) {
    static const char* const kNames[] = {"HAM", "FRAMEPALETTE", "DELTA", "WORDDELTA", "LONGDELTA", "DELTAFROM1", "DELTAFROM0"};
    std::vector<std::string> names;
    for (int bit = 0; bit < 16; ++bit) {
        if (!(flags & (1u << bit))) continue;
        names.push_back(bit < 7 ? kNames[bit] : "bit" + std::to_string(bit));
    }
    return names;
}

std::string FrameFormatName(uint16_t format) {
    if (format <= 2) return "planar";
    if (format <= 4) return "chunky";
    return "unknown";
}

}  // namespace yafa::tool
