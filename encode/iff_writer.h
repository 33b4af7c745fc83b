// Big-endian byte output and IFF chunk framing for the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace yafa::encode {

void PutU16BE(std::vector<uint8_t>& out, uint32_t value);
void PutU32BE(std::vector<uint8_t>& out, uint32_t value);
void PutTag(std::vector<uint8_t>& out, std::string_view tag);  // exactly 4 characters
void PutBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes);
void SetU32BE(std::vector<uint8_t>& out, size_t at, uint32_t value);

// Builds a "FORM" of one type chunk by chunk. Sizes are filled in when a
// chunk ends; a chunk of odd size gets its pad byte, which the FORM size
// counts.
class IffWriter {
public:
    explicit IffWriter(std::string_view formType);

    void BeginChunk(std::string_view id);
    std::vector<uint8_t>& data() { return out_; }  // append the open chunk's bytes here
    void EndChunk();
    // A whole chunk at once.
    void Chunk(std::string_view id, std::span<const uint8_t> bytes);

    // Closes the FORM and hands out the file.
    std::vector<uint8_t> Finish();

private:
    std::vector<uint8_t> out_;
    size_t chunkStart_ = 0;
    bool inChunk_ = false;
};

}  // namespace yafa::encode
