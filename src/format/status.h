// Why opening an animation or decoding a frame failed. Every reader, decoder
// and parser step returns a Status; the entry points turn any failure into
// the null or 0 the host expects, and keep the reason in the handle.
#pragma once

#include <cstdint>

namespace yafa {

enum class Status : uint8_t {
    Ok,
    OutOfMemory,
    // Reaching the file.
    CannotOpenFile,
    SeekOutOfRange,
    // The chunks before BODY.
    NotYafa,
    NoBodyChunk,
    FrameFormatUnknown,
    ProfWithoutFrames,
    TtblWithoutFrames,
    TableShorterThanFrameCount,
    PaletteBeyondChunk,
    GeometryTooLarge,
    NoPixelConversion,
    IndexedOutputUnavailable,
    // Finding a frame.
    FrameIndexOutOfRange,
    FrameEndsBeforeStart,
    FrameStartsPastEndOfFile,
    FileEndsInsideFrame,
    FrameShorterThanTag,
    FrameLargerThanGeometry,
    // The unpacked frame.
    FrameShorterThanPixels,
    FrameShorterThanPaletteTail,
    DeltaHeaderCutShort,
    OpListOutsideFrame,
    OpListRunsPastFrame,
    DeltaDataOutsideFrame,
    OpListLeavesPlane,
    // Packed streams.
    UnpackedSizeBeyondPackedData,
    S404LastWordOutsideData,
    S404OffsetWidthInvalid,
    XpkUnknownMethod,
    XpkUnknownChunkType,
    XpkChunkPastEndOfFile,
    XpkRawChunkTooShort,
    PackedDataEndsEarly,
    OutputOverrun,
    BackReferenceBeforeStart,
    BackReferenceDistanceZero,
    OutputShortOfLength,
    RakeSkipBitsInvalid,
    RakeByteStreamOutsideChunk,
};

inline constexpr int kStatusCount = static_cast<int>(Status::RakeByteStreamOutsideChunk) + 1;

// The reason's stable name, for scripts: the enumerator in snake case
// ("file_ends_inside_frame").
const char* StatusName(Status status) noexcept;

// A short English phrase for the reason: lower case, no full stop, to follow
// "frame 23 cannot be decoded: " or "cannot be opened: ".
const char* StatusPhrase(Status status) noexcept;

// The failure that a LoadFrame or OpenAnim call met last: its reason and, for
// a frame, the frame that failed (a replayed one may fail on the way to the
// frame asked for); -1 when the failure concerns no single frame.
struct FailureRecord {
    Status status = Status::Ok;
    int32_t frame = -1;
};

}  // namespace yafa

// Returns `reason` from the calling function unless `condition` holds. The
// one way decoders test a limit, in the spirit of libdeflate's SAFETY_CHECK:
// the failure path is marked unlikely, so hot loops keep their shape.
#define YAFA_CHECK(condition, reason)             \
    do {                                          \
        if (!(condition)) [[unlikely]]            \
            return ::yafa::Status::reason;        \
    } while (0)

// Returns the status of `expression` from the calling function unless it is Ok.
#define YAFA_TRY(expression)                                              \
    do {                                                                  \
        if (const ::yafa::Status yafa_status_ = (expression);             \
            yafa_status_ != ::yafa::Status::Ok) [[unlikely]]              \
            return yafa_status_;                                          \
    } while (0)
