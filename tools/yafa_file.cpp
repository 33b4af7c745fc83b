#include "yafa_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace yafa::tool {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class Reader {
public:
    explicit Reader(std::FILE* f) : f_(f) {}
    bool Seek(uint64_t pos) { return fseeko(f_, static_cast<off_t>(pos), SEEK_SET) == 0; }
    size_t Read(void* dst, size_t n) { return std::fread(dst, 1, n, f_); }
    bool U16(uint16_t* v) {
        uint8_t b[2];
        if (Read(b, 2) != 2) return false;
        *v = static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    bool U32(uint32_t* v) {
        uint8_t b[4];
        if (Read(b, 4) != 4) return false;
        *v = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
        return true;
    }

private:
    std::FILE* f_;
};

bool Is(const char* id, const char* want) { return std::memcmp(id, want, 4) == 0; }

uint64_t DeriveFrameSize(const YafaLayout& l) {
    if (l.flags & YAFA_DELTA) return 0;
    const uint64_t planeRowBytes = ((uint64_t{l.width} + 15) >> 4) * 2;
    uint64_t size = 0;
    if (l.frameFormat == 4) {
        const uint64_t bytesPerPixel = l.depth == 15 ? 2 : l.depth == 24 ? 3 : 1;
        size = uint64_t{l.width} * l.height * bytesPerPixel;
    } else if (l.frameFormat == 0) {
        size = l.height * planeRowBytes * l.depth;
    }
    if (l.flags & YAFA_FRAMEPALETTE) {
        uint64_t colours = 0;
        if (l.depth <= 8) colours = (l.flags & YAFA_HAM) ? (l.depth == 8 ? 64 : 16) : (uint64_t{1} << l.depth);
        if (colours) size += colours * 12 + 8;
    }
    return size;
}

std::string Printable(const uint8_t* tag) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        if (tag[i] < 0x20 || tag[i] > 0x7e) return "?";
        s += static_cast<char>(tag[i]);
    }
    return s;
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
    Reader r(file.get());
    char head[12];
    if (!r.Seek(0) || r.Read(head, 12) != 12 || !Is(head, "FORM") || !Is(head + 8, "YAFA")) {
        *error = "not an IFF FORM of type YAFA";
        return std::nullopt;
    }
    // Each chunk moves the position forward by at least its 8 header bytes,
    // so the loop ends at the end of the file at the latest.
    uint64_t pos = 12;
    while (true) {
        char id[4];
        uint32_t size = 0;
        if (!r.Seek(pos) || r.Read(id, 4) != 4 || !r.U32(&size)) {
            *error = "no BODY chunk";
            return std::nullopt;
        }
        const uint64_t data = pos + 8;
        if (Is(id, "BODY")) {
            l.bodyStart = data;
            break;
        }
        if (Is(id, "INFO")) {
            uint16_t v[7];
            for (uint16_t& x : v) {
                if (!r.U16(&x)) x = 0;
            }
            l.width = v[0], l.height = v[1], l.depth = v[2], l.defaultDelay = v[3];
            l.frameCount = v[4], l.frameFormat = v[5], l.flags = v[6];
            l.hasInfo = true;
            if (l.frameFormat > 4) {
                *error = "INFO gives frame format " + std::to_string(l.frameFormat) + " (0 to 4 are known)";
                return std::nullopt;
            }
            pos = data + 14;
        } else if (Is(id, "PROF") || Is(id, "TTBL")) {
            const bool prof = Is(id, "PROF");
            if (l.frameCount == 0) {
                *error = std::string(prof ? "PROF" : "TTBL") + " comes before INFO or with 0 frames";
                return std::nullopt;
            }
            if (prof) {
                l.frameEnds.assign(l.frameCount, 0);
                for (uint32_t& e : l.frameEnds) {
                    if (!r.U32(&e)) e = 0;
                }
                l.hasProf = true;
            } else {
                l.hasTtbl = true;
            }
            pos = data + (prof ? 4u : 2u) * l.frameCount;
        } else if (Is(id, "DRGB")) {
            uint16_t n = 0;
            l.drgbColours = r.U16(&n) ? n : 0;
            pos = data + size;
        } else {
            pos = data + size + (size & 1);
        }
    }
    l.frameSize = DeriveFrameSize(l);
    return l;
}

std::vector<FrameStorage> ReadFrameStorage(const std::string& path, const YafaLayout& layout) {
    std::vector<FrameStorage> frames(layout.frameCount);
    FilePtr file(std::fopen(path.c_str(), "rb"));
    Reader r(file.get());
    for (uint32_t i = 0; i < layout.frameCount; ++i) {
        FrameStorage& s = frames[i];
        if (layout.hasProf) {
            const uint32_t begin = i ? layout.frameEnds[i - 1] : 0;
            s.offset = layout.bodyStart + begin;
            s.length = layout.frameEnds[i] >= begin ? int64_t{layout.frameEnds[i]} - begin : -1;
        } else {
            s.offset = layout.bodyStart + uint64_t{i} * layout.frameSize;
            s.length = layout.frameSize ? static_cast<int64_t>(layout.frameSize) : -1;
        }
        uint8_t head[12] = {};
        const size_t got = file && s.offset < layout.fileSize && r.Seek(s.offset) ? r.Read(head, 12) : 0;
        if (got < 4) {
            s.method = "missing";
        } else if (std::memcmp(head, "XPKF", 4) == 0) {
            s.method = "XPK-" + (got == 12 ? Printable(head + 8) : std::string("?"));
        } else if (std::memcmp(head, "S404", 4) == 0) {
            s.method = "S404";
        } else {
            s.method = "raw";
        }
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
