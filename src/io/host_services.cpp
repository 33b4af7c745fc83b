#include "io/host_services.h"

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

size_t HostFileSource::Read(uint8_t* to, size_t length) noexcept {
    size_t done = 0;
    while (done < length) {
        const size_t left = length - done;
        const int32_t want = left > INT32_MAX ? INT32_MAX : static_cast<int32_t>(left);
        const int32_t got = HostRead(file_, to + done, want);
        // Nothing more, an error, or an answer no read can give.
        if (got <= 0 || got > want) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool HostFileSource::Skip(uint64_t distance) noexcept {
    while (distance > 0) {
        const int32_t step = distance > INT32_MAX ? INT32_MAX : static_cast<int32_t>(distance);
        if (HostSeek(file_, step, HOST_SEEK_CURRENT) < 0) return false;
        distance -= static_cast<uint64_t>(step);
    }
    return true;
}

}  // namespace yafa
