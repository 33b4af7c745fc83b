#include "format/status.h"

#include <array>
#include <string_view>

namespace yafa {
namespace {

struct Reason {
    Status status;
    const char* phrase;
};

// In the order of the enum; the static_assert below keeps the two together.
constexpr Reason kReasons[] = {
    {Status::Ok, "no failure"},
    {Status::OutOfMemory, "out of memory"},
    {Status::CannotOpenFile, "the host cannot open the file"},
    {Status::SeekOutOfRange, "the file position lies beyond what the host can seek to"},
    {Status::NotYafa, "not an IFF FORM of type YAFA"},
    {Status::NoBodyChunk, "no BODY chunk"},
    {Status::FrameFormatUnknown, "INFO gives a frame format above 4"},
    {Status::ProfWithoutFrames, "PROF comes before INFO or with 0 frames"},
    {Status::TtblWithoutFrames, "TTBL comes before INFO or with 0 frames"},
    {Status::TableShorterThanFrameCount, "a PROF or TTBL table is shorter than the frame count"},
    {Status::PaletteBeyondChunk, "the DRGB colours run past the end of their chunk"},
    {Status::GeometryTooLarge, "a frame of this size needs more than 4 GiB"},
    {Status::NoPixelConversion, "no pixel conversion for this depth and mode"},
    {Status::IndexedOutputUnavailable, "HAM and true-colour frames have no 8-bit form"},
    {Status::FrameIndexOutOfRange, "the frame index lies outside the animation"},
    {Status::FrameEndsBeforeStart, "the PROF entry ends the frame before its start"},
    {Status::FrameStartsPastEndOfFile, "the frame starts past the end of the file"},
    {Status::FileEndsInsideFrame, "the file ends inside the frame"},
    {Status::FrameShorterThanTag, "the stored frame is shorter than its 4-byte tag"},
    {Status::FrameLargerThanGeometry, "the frame is larger than any frame of this size"},
    {Status::FrameShorterThanPixels, "the frame is too short for its pixels"},
    {Status::FrameShorterThanPaletteTail, "the frame is too short for its palette tail"},
    {Status::DeltaHeaderCutShort, "the frame is too short for its delta header"},
    {Status::OpListOutsideFrame, "a delta op list starts outside the frame"},
    {Status::OpListRunsPastFrame, "a delta op list runs past the end of the frame"},
    {Status::DeltaDataOutsideFrame, "delta data lies outside the frame"},
    {Status::OpListLeavesPlane, "a delta op list leaves the plane"},
    {Status::UnpackedSizeBeyondPackedData, "the unpacked size is more than the packed data can hold"},
    {Status::S404LastWordOutsideData, "the S404 stream's last word lies outside its data"},
    {Status::S404OffsetWidthInvalid, "the S404 offset width is outside 6 to 16 bits"},
    {Status::XpkUnknownMethod, "the XPK method is not FAST, NUKE or RAKE"},
    {Status::XpkUnknownChunkType, "an XPK chunk has an unknown type"},
    {Status::XpkChunkPastEndOfFile, "an XPK chunk is longer than the file"},
    {Status::XpkRawChunkTooShort, "a raw XPK chunk is shorter than its unpacked length"},
    {Status::PackedDataEndsEarly, "the packed data ends before the output is complete"},
    {Status::OutputOverrun, "the packed data writes past the end of the output"},
    {Status::BackReferenceBeforeStart, "a back reference reaches before the start of the output"},
    {Status::BackReferenceDistanceZero, "a back reference has distance 0"},
    {Status::OutputShortOfLength, "the packed data stops short of its unpacked length"},
    {Status::RakeSkipBitsInvalid, "the RAKE bit stream skips more than 32 bits"},
    {Status::RakeByteStreamOutsideChunk, "the RAKE byte stream lies outside its chunk"},
};

constexpr bool InEnumOrder() {
    if (std::size(kReasons) != kStatusCount) return false;
    for (int i = 0; i < kStatusCount; ++i) {
        if (static_cast<int>(kReasons[i].status) != i) return false;
        const std::string_view phrase = kReasons[i].phrase;
        // Phrases follow a colon inside a sentence.
        if (phrase.empty() || phrase.back() == '.') return false;
    }
    return true;
}
static_assert(InEnumOrder());

}  // namespace

const char* StatusPhrase(Status status) noexcept {
    const auto i = static_cast<unsigned>(status);
    return i < std::size(kReasons) ? kReasons[i].phrase : "unknown reason";
}

}  // namespace yafa
