// Reader of the XPK container. The stream header names the method; the
// chunks that follow are unpacked one after another into one output buffer
// that always keeps XPK_OUTPUT_SLACK bytes of room behind the current chunk.
#include "unpack/xpk.h"

#include <algorithm>
#include <cstring>

#include "format/nuke_format.h"
#include "format/rake_format.h"
#include "format/xpk_format.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa {

namespace {

struct Method {
    Status (*decode)(const XpkChunkJob&) noexcept;
    uint64_t maxExpansion;  // output bytes per packed byte, at most
};

constexpr Method kMethods[] = {
    {DecodeFastChunk, FAST_MAX_EXPANSION},
    {DecodeNukeChunk, NUKE_MAX_EXPANSION},
    {DecodeRakeChunk, RAKE_MAX_EXPANSION},
};
static_assert(std::size(kMethods) == std::size(kXpkMethodTags));

const Method* MethodForTag(const uint8_t tag[4]) noexcept {
    for (size_t i = 0; i < std::size(kMethods); ++i)
        if (std::memcmp(tag, kXpkMethodTags[i], 4) == 0) return &kMethods[i];
    return nullptr;
}

// The stream's output: one block that grows by doubling rather than to the
// exact size, so that a stream of many chunks is not copied over at every
// one, but never beyond what the largest allowed frame and its slack need.
class Output {
public:
    explicit Output(uint32_t maxUnpacked) noexcept
        : most_(std::min<uint64_t>(uint64_t{maxUnpacked} + XPK_OUTPUT_SLACK, UINT32_MAX)) {}

    uint8_t* data() const noexcept { return block_.get(); }
    MallocBytes Release() noexcept { return std::move(block_); }

    // Room for `end` bytes and the slack behind them.
    Status Reserve(uint64_t end) noexcept {
        const uint64_t need = end + XPK_OUTPUT_SLACK;
        if (need <= capacity_) return Status::Ok;
        YAFA_CHECK(need <= most_, FrameLargerThanGeometry);
        const uint64_t grown = std::min(std::max(need, 2 * capacity_), most_);
        YAFA_CHECK(Resize(block_, static_cast<size_t>(grown)), OutOfMemory);
        capacity_ = grown;
        return Status::Ok;
    }

    // Reads up to `length` bytes to offset `at`, the block growing with what
    // arrives; `*got` receives how many did.
    Status ReadFrom(ByteSource& source, uint64_t at, uint64_t length, uint64_t* got) noexcept {
        *got = 0;
        while (*got < length) {
            const uint64_t step = std::min(length - *got, std::max<uint64_t>(kTrustedReadBytes, *got));
            YAFA_TRY(Reserve(at + *got + step));
            const size_t n = source.Read(block_.get() + at + *got, static_cast<size_t>(step));
            *got += n;
            if (n < step) break;
        }
        return Status::Ok;
    }

private:
    MallocBytes block_;
    uint64_t capacity_ = 0;
    const uint64_t most_;
};

}  // namespace

Status UnpackXpk(ByteSource& source, uint32_t maxUnpacked, UnpackedFrame& frame, uint8_t methodTag[4]) noexcept {
    std::memset(methodTag, 0, 4);
    (void)source.ReadU32BE();  // stream length: not needed, the end chunk ends the stream
    uint8_t tag[4];
    YAFA_CHECK(source.Read(tag, 4) == 4, FileEndsInsideFrame);
    std::memcpy(methodTag, tag, 4);
    const Method* method = MethodForTag(tag);
    YAFA_CHECK(method != nullptr, XpkUnknownMethod);
    (void)source.ReadU32BE();  // unpacked length: the chunks' lengths are what counts
    source.Skip(16);
    const uint32_t flags = static_cast<uint32_t>(source.ReadByte()) & 0xFF;
    source.Skip(3);
    if (flags & XPK_FLAG_EXTRA_HEADER) source.Skip(source.ReadU16BE());
    const bool longHeaders = (flags & XPK_FLAG_LONG_HEADERS) != 0;

    Output output(maxUnpacked);
    uint64_t total = 0;
    for (;;) {
        const int32_t type = source.ReadByte();
        source.Skip(3);
        const uint32_t pl = longHeaders ? source.ReadU32BE() : source.ReadU16BE();
        const uint32_t ul = longHeaders ? source.ReadU32BE() : source.ReadU16BE();
        if (type == XPK_CHUNK_END) {
            frame.bytes = output.Release();
            frame.length = frame.held = static_cast<uint32_t>(total);
            return Status::Ok;
        }
        // readByte answers outside 0..255 only where the file ends. Other
        // types cannot be followed safely: there is no telling where their
        // bodies end.
        YAFA_CHECK(type >= 0 && type <= 0xFF, FileEndsInsideFrame);
        YAFA_CHECK(type == XPK_CHUNK_RAW || type == XPK_CHUNK_PACKED, XpkUnknownChunkType);

        // The frame must stay within what the caller can use, which also
        // keeps the running total plus the slack a 32-bit size.
        const uint64_t newTotal = total + ul;
        YAFA_CHECK(newTotal <= maxUnpacked && newTotal + XPK_OUTPUT_SLACK <= UINT32_MAX, FrameLargerThanGeometry);
        const uint64_t pl4 = XpkPaddedLength(pl);
        if (type == XPK_CHUNK_RAW) {
            // The bytes behind PL are the chunk's padding: a raw chunk whose
            // padded length covers its unpacked length takes them as data,
            // as reading PL4 bytes into the output always has.
            YAFA_CHECK(pl4 >= ul, XpkRawChunkTooShort);
            // The end chunk must follow, so the whole body must be in the file.
            uint64_t got = 0;
            YAFA_TRY(output.ReadFrom(source, total, ul, &got));
            YAFA_CHECK(got == ul, XpkChunkPastEndOfFile);
            YAFA_TRY(output.Reserve(newTotal));
            if (pl4 - ul <= XPK_OUTPUT_SLACK) {
                // Padding behind the unpacked length lands in the slack.
                YAFA_CHECK(source.Read(output.data() + newTotal, static_cast<size_t>(pl4 - ul)) == pl4 - ul,
                           XpkChunkPastEndOfFile);
            } else {
                YAFA_CHECK(source.Skip(pl4 - ul), SeekOutOfRange);
            }
        } else {
            // Nothing is sized from UL before the packed bytes that can make
            // it are known to be in the file.
            YAFA_CHECK(ul <= method->maxExpansion * pl4, UnpackedSizeBeyondPackedData);
            ReadBlock packed;
            YAFA_TRY(ReadAsTheyArrive(source, pl4, 0, &packed));
            YAFA_CHECK(packed.held == pl4, XpkChunkPastEndOfFile);
            YAFA_TRY(output.Reserve(newTotal));
            const XpkChunkJob job{packed.bytes.get(), pl, output.data(), static_cast<uint32_t>(total), ul};
            YAFA_TRY(method->decode(job));
        }
        total = newTotal;
    }
}

}  // namespace yafa
