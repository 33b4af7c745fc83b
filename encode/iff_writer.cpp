#include "iff_writer.h"

#include <limits>
#include <stdexcept>

#include "format/big_endian.h"

namespace yafa::encode {

void PutU16BE(std::vector<uint8_t>& out, uint32_t value) { AppendU16BE(out, value); }

void PutU32BE(std::vector<uint8_t>& out, uint32_t value) { AppendU32BE(out, value); }

void PutTag(std::vector<uint8_t>& out, std::string_view tag) {
    if (tag.size() != 4) throw std::logic_error("IFF tags are 4 characters");
    out.insert(out.end(), tag.begin(), tag.end());
}

void PutBytes(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void SetU32BE(std::vector<uint8_t>& out, size_t at, uint32_t value) { StoreU32BE(&out.at(at + 3) - 3, value); }

namespace {
uint32_t CheckedSize(size_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) throw std::length_error("IFF chunk larger than 4 GiB");
    return static_cast<uint32_t>(size);
}
}  // namespace

IffWriter::IffWriter(std::string_view formType) {
    PutTag(out_, "FORM");
    PutU32BE(out_, 0);
    PutTag(out_, formType);
}

void IffWriter::BeginChunk(std::string_view id) {
    if (inChunk_) throw std::logic_error("IFF chunk already open");
    PutTag(out_, id);
    PutU32BE(out_, 0);
    chunkStart_ = out_.size();
    inChunk_ = true;
}

void IffWriter::EndChunk() {
    if (!inChunk_) throw std::logic_error("no IFF chunk open");
    const size_t size = out_.size() - chunkStart_;
    SetU32BE(out_, chunkStart_ - 4, CheckedSize(size));
    if (size & 1) out_.push_back(0);
    inChunk_ = false;
}

void IffWriter::Chunk(std::string_view id, std::span<const uint8_t> bytes) {
    BeginChunk(id);
    PutBytes(out_, bytes);
    EndChunk();
}

std::vector<uint8_t> IffWriter::Finish() {
    if (inChunk_) EndChunk();
    SetU32BE(out_, 4, CheckedSize(out_.size() - 8));
    return std::move(out_);
}

}  // namespace yafa::encode
