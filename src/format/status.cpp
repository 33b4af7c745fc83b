#include "format/status.h"

#include <array>
#include <string_view>

namespace yafa {
namespace {

struct Reason {
    Status status;
    const char* name;    // stable, for scripts: `yafa check --json`
    const char* phrase;  // for people, after a colon
};

// In the order of the enum; the static_assert below keeps the two together.
constexpr Reason kReasons[] = {
    {Status::Ok, "ok", "no failure"},
    {Status::OutOfMemory, "out_of_memory", "out of memory"},
    {Status::CannotOpenFile, "cannot_open_file", "the host cannot open the file"},
    {Status::SeekOutOfRange, "seek_out_of_range", "the file position lies beyond what the host can seek to"},
    {Status::NotYafa, "not_yafa", "not an IFF FORM of type YAFA"},
    {Status::NoBodyChunk, "no_body_chunk", "no BODY chunk"},
    {Status::FrameFormatUnknown, "frame_format_unknown", "INFO gives a frame format above 4"},
    {Status::ProfWithoutFrames, "prof_without_frames", "PROF comes before INFO or with 0 frames"},
    {Status::TtblWithoutFrames, "ttbl_without_frames", "TTBL comes before INFO or with 0 frames"},
    {Status::TableShorterThanFrameCount, "table_shorter_than_frame_count",
     "a PROF or TTBL table is shorter than the frame count"},
    {Status::PaletteBeyondChunk, "palette_beyond_chunk", "the DRGB colours run past the end of their chunk"},
    {Status::GeometryTooLarge, "geometry_too_large", "a frame of this size needs more than 4 GiB"},
    {Status::NoPixelConversion, "no_pixel_conversion", "no pixel conversion for this depth and mode"},
    {Status::IndexedOutputUnavailable, "indexed_output_unavailable", "HAM and true-colour frames have no 8-bit form"},
    {Status::FrameIndexOutOfRange, "frame_index_out_of_range", "the frame index lies outside the animation"},
    {Status::FrameEndsBeforeStart, "frame_ends_before_start", "the PROF entry ends the frame before its start"},
    {Status::FrameStartsPastEndOfFile, "frame_starts_past_end_of_file", "the frame starts past the end of the file"},
    {Status::FileEndsInsideFrame, "file_ends_inside_frame", "the file ends inside the frame"},
    {Status::FrameShorterThanTag, "frame_shorter_than_tag", "the stored frame is shorter than its 4-byte tag"},
    {Status::FrameLargerThanGeometry, "frame_larger_than_geometry", "the frame is larger than any frame of this size"},
    {Status::FrameShorterThanPixels, "frame_shorter_than_pixels", "the frame is too short for its pixels"},
    {Status::FrameShorterThanPaletteTail, "frame_shorter_than_palette_tail",
     "the frame is too short for its palette tail"},
    {Status::DeltaHeaderCutShort, "delta_header_cut_short", "the frame is too short for its delta header"},
    {Status::OpListOutsideFrame, "op_list_outside_frame", "a delta op list starts outside the frame"},
    {Status::OpListRunsPastFrame, "op_list_runs_past_frame", "a delta op list runs past the end of the frame"},
    {Status::DeltaDataOutsideFrame, "delta_data_outside_frame", "delta data lies outside the frame"},
    {Status::OpListLeavesPlane, "op_list_leaves_plane", "a delta op list leaves the plane"},
    {Status::UnpackedSizeBeyondPackedData, "unpacked_size_beyond_packed_data",
     "the unpacked size is more than the packed data can hold"},
    {Status::S404LastWordOutsideData, "s404_last_word_outside_data",
     "the S404 stream's last word lies outside its data"},
    {Status::S404OffsetWidthInvalid, "s404_offset_width_invalid", "the S404 offset width is outside 6 to 16 bits"},
    {Status::XpkUnknownMethod, "xpk_unknown_method", "the XPK method is not FAST, NUKE or RAKE"},
    {Status::XpkUnknownChunkType, "xpk_unknown_chunk_type", "an XPK chunk has an unknown type"},
    {Status::XpkChunkPastEndOfFile, "xpk_chunk_past_end_of_file", "an XPK chunk is longer than the file"},
    {Status::XpkRawChunkTooShort, "xpk_raw_chunk_too_short", "a raw XPK chunk is shorter than its unpacked length"},
    {Status::PackedDataEndsEarly, "packed_data_ends_early", "the packed data ends before the output is complete"},
    {Status::OutputOverrun, "output_overrun", "the packed data writes past the end of the output"},
    {Status::BackReferenceBeforeStart, "back_reference_before_start",
     "a back reference reaches before the start of the output"},
    {Status::BackReferenceDistanceZero, "back_reference_distance_zero", "a back reference has distance 0"},
    {Status::OutputShortOfLength, "output_short_of_length", "the packed data stops short of its unpacked length"},
    {Status::RakeSkipBitsInvalid, "rake_skip_bits_invalid", "the RAKE bit stream skips more than 32 bits"},
    {Status::RakeByteStreamOutsideChunk, "rake_byte_stream_outside_chunk",
     "the RAKE byte stream lies outside its chunk"},
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

const char* StatusName(Status status) noexcept {
    const auto i = static_cast<unsigned>(status);
    return i < std::size(kReasons) ? kReasons[i].name : "unknown";
}

const char* StatusPhrase(Status status) noexcept {
    const auto i = static_cast<unsigned>(status);
    return i < std::size(kReasons) ? kReasons[i].phrase : "unknown reason";
}

}  // namespace yafa
