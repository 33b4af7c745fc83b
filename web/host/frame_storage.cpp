#include "host/frame_storage.h"

#include <cstring>

#include "yafa/info_flags.h"

namespace yafa::web {
namespace {

// One open file of the host's, closed when it goes out of scope.
class Reader {
public:
    Reader(const HostFileApi& files, const char* name) : files_(files), file_(files.open(name, 0)) {}
    ~Reader() {
        if (file_) files_.close(file_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool ok() const { return file_ != nullptr; }
    bool Seek(uint64_t position) {
        return position <= INT32_MAX && files_.seek(file_, int32_t(position), HOST_SEEK_START) >= 0;
    }
    int32_t ReadSome(uint8_t* out, int32_t length) { return files_.read(file_, out, length); }
    bool Read(uint8_t* out, int32_t length) { return ReadSome(out, length) == length; }
    bool U16(uint32_t* value) {
        uint8_t b[2];
        if (!Read(b, 2)) return false;
        *value = uint32_t{b[0]} << 8 | b[1];
        return true;
    }
    bool U32(uint32_t* value) {
        uint8_t b[4];
        if (!Read(b, 4)) return false;
        *value = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
        return true;
    }

private:
    const HostFileApi& files_;
    HostFile file_;
};

bool Is(const uint8_t* id, const char* want) { return std::memcmp(id, want, 4) == 0; }

// The stride of frames in a file without PROF: whole frames of one size,
// each followed by its palette tail.
uint64_t FixedFrameSize(uint32_t width, uint32_t height, uint32_t depth, int32_t format, int32_t flags) {
    if (flags & YAFA_DELTA) return 0;
    uint64_t size = 0;
    if (format == 4) {
        size = uint64_t{width} * height * (depth == 15 ? 2 : depth == 24 ? 3 : 1);
    } else if (format == 0) {
        size = uint64_t{height} * ((width + 15) >> 4) * 2 * depth;
    }
    if ((flags & YAFA_FRAMEPALETTE) && depth <= 8) {
        const uint64_t colours = (flags & YAFA_HAM) ? (depth == 8 ? 64 : 16) : uint64_t{1} << depth;
        size += colours * 12 + 8;
    }
    return size;
}

std::string MethodOf(const uint8_t* head, int32_t got) {
    if (got < 4) return "missing";
    if (Is(head, "S404")) return "S404";
    if (!Is(head, "XPKF")) return "raw";
    std::string method = "XPK-";
    for (int i = 8; i < 12; ++i) {
        if (i >= got || head[i] < 0x20 || head[i] > 0x7e) return method + "?";
        method += char(head[i]);
    }
    return method;
}

}  // namespace

FileLayout ReadFileLayout(const HostFileApi& files, const char* name) {
    FileLayout layout;
    Reader r(files, name);
    uint8_t head[12];
    if (!r.ok() || !r.Read(head, 12)) return layout;
    uint32_t width = 0, height = 0, depth = 0, frameCount = 0;
    std::vector<uint32_t> frameEnds;
    // The plugin reads INFO, PROF and TTBL by their contents, not by their
    // declared sizes, DRGB by its size without a pad byte, and skips every
    // other chunk with its pad byte; the walk follows it exactly.
    uint64_t position = 12;
    for (;;) {
        uint8_t id[4];
        uint32_t size = 0;
        if (!r.Seek(position) || !r.Read(id, 4) || !r.U32(&size)) return layout;
        position += 8;
        if (Is(id, "BODY")) break;
        if (Is(id, "INFO")) {
            uint32_t v[7] = {};
            for (uint32_t& x : v) r.U16(&x);
            width = v[0], height = v[1], depth = v[2], frameCount = v[4];
            layout.frameFormat = int32_t(v[5]);
            layout.flags = int32_t(v[6]);
            position += 14;
        } else if (Is(id, "PROF")) {
            frameEnds.assign(frameCount, 0);
            for (uint32_t& end : frameEnds) r.U32(&end);
            position += uint64_t{4} * frameCount;
        } else if (Is(id, "TTBL")) {
            position += uint64_t{2} * frameCount;
        } else if (Is(id, "DRGB")) {
            position += size;
        } else {
            position += uint64_t{size} + (size & 1);
        }
    }
    const uint64_t bodyStart = position;
    const uint64_t stride = FixedFrameSize(width, height, depth, layout.frameFormat, layout.flags);
    for (uint32_t i = 0; i < frameCount; ++i) {
        uint64_t start = uint64_t{i} * stride;
        if (!frameEnds.empty()) start = i ? frameEnds[i - 1] : 0;
        const int32_t got = r.Seek(bodyStart + start) ? r.ReadSome(head, 12) : 0;
        layout.storage.push_back(MethodOf(head, got));
    }
    return layout;
}

}  // namespace yafa::web
