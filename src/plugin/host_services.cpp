#include "plugin/host_services.h"

#include <climits>

namespace yafa {

namespace {
HostBase* gHost = nullptr;
}

HostBase* Host() noexcept { return gHost; }
void SetHost(HostBase* host) noexcept { gHost = host; }

HostFile HostOpen(const char* name, int32_t mode, uint32_t tag1Data, uint32_t tag6Data) noexcept {
    HostFileApi* files = gHost->fileApi;
    if (tag1Data == 0 && tag6Data == 0) return files->open(name, mode);
    HostTag tags[3];
    int n = 0;
    if (tag1Data != 0) tags[n++] = {HOST_TAG_OPEN_1, tag1Data};
    if (tag6Data != 0) tags[n++] = {HOST_TAG_OPEN_6, tag6Data};
    tags[n] = {HOST_TAG_END, 0};
    return files->openWithTags(name, mode, tags);
}

int32_t HostClose(HostFile file) noexcept { return gHost->fileApi->close(file); }

int32_t HostSeek(HostFile file, int32_t offset, int32_t mode) noexcept {
    return gHost->fileApi->seek(file, offset, mode);
}

int32_t HostRead(HostFile file, void* buffer, int32_t length) noexcept {
    return gHost->fileApi->read(file, buffer, length);
}

int32_t HostReadByte(HostFile file) noexcept { return gHost->fileApi->readByte(file); }

uint16_t ReadU16BE(HostFile file) noexcept {
    const uint32_t b0 = static_cast<uint32_t>(HostReadByte(file));
    const uint32_t b1 = static_cast<uint32_t>(HostReadByte(file));
    return static_cast<uint16_t>((b0 << 8) | b1);
}

uint32_t ReadU32BE(HostFile file) noexcept {
    // The bytes are not masked: whatever readByte returns at the end of the
    // file goes into the number, as hosts have always seen it.
    const uint32_t b0 = static_cast<uint32_t>(HostReadByte(file));
    const uint32_t b1 = static_cast<uint32_t>(HostReadByte(file));
    const uint32_t b2 = static_cast<uint32_t>(HostReadByte(file));
    const uint32_t b3 = static_cast<uint32_t>(HostReadByte(file));
    return (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
}

bool HostReadExact(HostFile file, void* buffer, uint32_t length) noexcept {
    auto* p = static_cast<uint8_t*>(buffer);
    while (length > 0) {
        const int32_t want = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
        const int32_t got = HostRead(file, p, want);
        if (got <= 0 || got > want) return false;
        p += got;
        length -= static_cast<uint32_t>(got);
    }
    return true;
}

bool HostSkip(HostFile file, uint32_t distance) noexcept {
    while (distance > 0) {
        const int32_t step = distance > INT32_MAX ? INT32_MAX : static_cast<int32_t>(distance);
        if (HostSeek(file, step, HOST_SEEK_CURRENT) < 0) return false;
        distance -= static_cast<uint32_t>(step);
    }
    return true;
}

}  // namespace yafa
