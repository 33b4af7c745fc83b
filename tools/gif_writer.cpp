#include "gif_writer.h"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace yafa::tool {
namespace {

std::string GifError(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

// Bits of the smallest colour table (2 to 256 entries) that holds `count`.
int TableBits(size_t count) {
    int bits = 1;
    while ((size_t{1} << bits) < count) ++bits;
    return bits;
}

void PutU16LE(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutTable(std::vector<uint8_t>& out, const std::vector<uint32_t>& colours, int bits) {
    for (size_t i = 0; i < (size_t{1} << bits); ++i) {
        const uint32_t c = i < colours.size() ? colours[i] : 0;
        out.insert(out.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
}

int AppendToVector(GifFileType* gif, const GifByteType* bytes, int size) {
    auto* sink = static_cast<std::vector<uint8_t>*>(gif->UserData);
    sink->insert(sink->end(), bytes, bytes + size);
    return size;
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        EGifCloseFile(gif, &ignored);
    }
};

ColorMapObject* MakeMap(const std::vector<uint32_t>& colours, int bits) {
    std::vector<GifColorType> entries(size_t{1} << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i)
        entries[i] = GifColorType{static_cast<GifByteType>(colours[i] >> 16), static_cast<GifByteType>(colours[i] >> 8),
                                  static_cast<GifByteType>(colours[i])};
    return GifMakeMapObject(1 << bits, entries.data());
}

// LZW-codes one image through giflib into memory and keeps the image block:
// its descriptor, local table and data. giflib derives the code size from
// the table in force, so a frame of the global table is coded under a
// screen that has it.
bool CodeImage(uint32_t left, uint32_t top, uint32_t width, uint32_t height, const std::vector<uint8_t>& indices,
               const std::vector<uint32_t>& table, int bits, bool local, std::vector<uint8_t>* block,
               std::string* error) {
    std::vector<uint8_t> sink;
    int code = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&sink, AppendToVector, &code));
    if (!gif) {
        *error = GifError(code);
        return false;
    }
    ColorMapObject* map = MakeMap(table, bits);
    bool ok = map != nullptr &&
              EGifPutScreenDesc(gif.get(), int(left + width), int(top + height), bits, 0, local ? nullptr : map) == GIF_OK;
    const size_t start = sink.size();
    ok = ok && EGifPutImageDesc(gif.get(), int(left), int(top), int(width), int(height), false, local ? map : nullptr) ==
                   GIF_OK;
    GifFreeMapObject(map);
    // giflib masks the pixels of the line it is given in place.
    std::vector<GifPixelType> row(width);
    for (uint32_t y = 0; ok && y < height; ++y) {
        std::copy_n(indices.begin() + static_cast<std::ptrdiff_t>(size_t{y} * width), width, row.begin());
        ok = EGifPutLine(gif.get(), row.data(), int(width)) == GIF_OK;
    }
    if (!ok) {
        *error = map ? GifError(gif->Error) : "out of memory";
        return false;
    }
    block->assign(sink.begin() + static_cast<std::ptrdiff_t>(start), sink.end());
    return true;
}

}  // namespace

uint16_t GifDelayFromMs(int32_t ms) {
    const int64_t cs = (int64_t{ms} + 5) / 10;
    return static_cast<uint16_t>(std::clamp<int64_t>(cs, 2, 65535));
}

bool GifAnimationWriter::Put(const void* bytes, size_t size) { return std::fwrite(bytes, 1, size, out_) == size; }

bool GifAnimationWriter::Open(std::FILE* out, uint32_t width, uint32_t height, std::vector<uint32_t> globalColours,
                              std::string* error) {
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        *error = "a GIF cannot hold frames of " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    if (globalColours.size() > 256) {
        *error = "a colour table holds at most 256 colours";
        return false;
    }
    out_ = out;
    width_ = width;
    height_ = height;
    global_ = std::move(globalColours);
    globalIndex_.clear();
    for (size_t i = 0; i < global_.size(); ++i) globalIndex_.emplace(global_[i] & 0xFFFFFFu, static_cast<uint8_t>(i));
    globalBits_ = global_.empty() ? 0 : TableBits(global_.size());
    shown_.assign(size_t{width} * height, 0);
    first_ = true;

    std::vector<uint8_t> head = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16LE(head, width);
    PutU16LE(head, height);
    head.push_back(globalBits_ ? static_cast<uint8_t>(0xF0 | (globalBits_ - 1)) : 0x70);
    head.push_back(0);  // background colour
    head.push_back(0);  // aspect ratio
    if (globalBits_) PutTable(head, global_, globalBits_);
    // Loop for ever: NETSCAPE2.0, sub-block 1, count 0.
    static constexpr uint8_t kLoop[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
    head.insert(head.end(), std::begin(kLoop), std::end(kLoop));
    if (!Put(head.data(), head.size())) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

GifAnimationWriter::Rect GifAnimationWriter::ChangedRect(const uint32_t* pixels) const {
    if (first_) return {0, 0, width_, height_};
    uint32_t left = width_, right = 0, top = height_, bottom = 0;
    for (uint32_t y = 0; y < height_; ++y) {
        const uint32_t* now = pixels + size_t{y} * width_;
        const uint32_t* was = shown_.data() + size_t{y} * width_;
        uint32_t x = 0;
        while (x < width_ && ((now[x] ^ was[x]) & 0xFFFFFFu) == 0) ++x;
        if (x == width_) continue;
        uint32_t last = width_ - 1;
        while (((now[last] ^ was[last]) & 0xFFFFFFu) == 0) --last;
        left = std::min(left, x);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    if (top == height_) return {0, 0, 1, 1};  // nothing changed: one pixel, as it is
    return {left, top, right - left + 1, bottom - top + 1};
}

bool GifAnimationWriter::EncodeImage(const uint32_t* pixels, const Rect& r, uint32_t minRun,
                                     std::vector<uint8_t>* block, int* transparentIndex, std::string* error) {
    const bool useGlobal = globalBits_ != 0;
    const bool transparent = minRun > 0;
    std::vector<uint8_t> indices(size_t{r.width} * r.height);
    std::vector<uint32_t> table;  // a local table: the colours in order of appearance
    std::unordered_map<uint32_t, uint8_t> local;
    // Unchanged pixels in runs of at least minRun along a row.
    std::vector<bool> unchanged(transparent ? indices.size() : 0);
    for (uint32_t y = 0; transparent && y < r.height; ++y) {
        const size_t at = size_t{r.top + y} * width_ + r.left;
        for (uint32_t x = 0; x < r.width;) {
            uint32_t end = x;
            while (end < r.width && ((pixels[at + end] ^ shown_[at + end]) & 0xFFFFFFu) == 0) ++end;
            if (end - x >= minRun)
                std::fill_n(unchanged.begin() + static_cast<std::ptrdiff_t>(size_t{y} * r.width + x), end - x, true);
            x = end == x ? x + 1 : end;
        }
    }
    size_t n = 0;
    for (uint32_t y = 0; y < r.height; ++y) {
        const size_t at = size_t{r.top + y} * width_ + r.left;
        for (uint32_t x = 0; x < r.width; ++x, ++n) {
            const uint32_t c = pixels[at + x] & 0xFFFFFFu;
            if (transparent && unchanged[n]) continue;
            if (useGlobal) {
                const auto it = globalIndex_.find(c);
                if (it == globalIndex_.end()) {
                    *error = "a frame has a colour that is not in the global colour table";
                    return false;
                }
                indices[n] = it->second;
                continue;
            }
            auto [it, inserted] = local.try_emplace(c, static_cast<uint8_t>(table.size()));
            if (inserted) {
                if (table.size() == 256) {
                    *error = "a frame has more than 256 colours";
                    return false;
                }
                table.push_back(c);
            }
            indices[n] = it->second;
        }
    }
    // The transparent index: with a table of its own, the entry after the
    // frame's colours; with the global table, any entry that no changed
    // pixel uses. There may be none free.
    if (transparent) {
        int clear = -1;
        if (useGlobal) {
            std::vector<bool> used(size_t{1} << globalBits_, false);
            for (size_t i = 0; i < indices.size(); ++i)
                if (!unchanged[i]) used[indices[i]] = true;
            const auto free = std::find(used.begin(), used.end(), false);
            if (free != used.end()) clear = static_cast<int>(free - used.begin());
        } else if (table.size() < 256) {
            clear = static_cast<int>(table.size());
        }
        if (clear < 0) return false;
        for (size_t i = 0; i < indices.size(); ++i)
            if (unchanged[i]) indices[i] = static_cast<uint8_t>(clear);
        *transparentIndex = clear;
    }
    if (useGlobal) return CodeImage(r.left, r.top, r.width, r.height, indices, global_, globalBits_, false, block, error);
    const int bits = TableBits(table.size() + (transparent ? 1 : 0));
    return CodeImage(r.left, r.top, r.width, r.height, indices, table, bits, true, block, error);
}

bool GifAnimationWriter::AddFrame(const uint32_t* pixels, uint16_t delayCs, std::string* error) {
    const Rect r = ChangedRect(pixels);
    // Whole pixels or, after the first frame, unchanged pixels transparent:
    // all of them, or only those in runs of at least 3 or 8 along a row,
    // which leaves alone areas that code well as they are. Whichever codes
    // smallest is written (the choices were measured on the bundled
    // examples). Transparency needs a free index.
    int transparentIndex = -1;
    if (!EncodeImage(pixels, r, 0, &scratch_[0], &transparentIndex, error)) return false;
    bool transparent = false;
    static constexpr uint32_t kMinRuns[] = {1, 3, 8};
    for (uint32_t minRun : kMinRuns) {
        if (first_) break;
        std::string ignored;
        int index = -1;
        if (EncodeImage(pixels, r, minRun, &scratch_[1], &index, &ignored) && scratch_[1].size() < scratch_[0].size()) {
            scratch_[0].swap(scratch_[1]);
            transparentIndex = index;
            transparent = true;
        }
    }
    const std::vector<uint8_t>& block = scratch_[0];
    // Graphic control: keep the frame when the next one is drawn, the delay,
    // and the transparent index if any.
    const uint8_t control[] = {0x21, 0xF9, 4, static_cast<uint8_t>(1 << 2 | (transparent ? 1 : 0)),
                               static_cast<uint8_t>(delayCs), static_cast<uint8_t>(delayCs >> 8),
                               static_cast<uint8_t>(transparent ? transparentIndex : 0), 0};
    if (!Put(control, sizeof control) || !Put(block.data(), block.size())) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    for (uint32_t y = 0; y < r.height; ++y) {
        const size_t at = size_t{r.top + y} * width_ + r.left;
        std::copy_n(pixels + at, r.width, shown_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    first_ = false;
    return true;
}

bool GifAnimationWriter::Close(std::string* error) {
    static constexpr uint8_t kTrailer = 0x3B;
    if (!Put(&kTrailer, 1) || std::fflush(out_) != 0) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace yafa::tool
