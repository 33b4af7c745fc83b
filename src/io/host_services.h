// The plugin's only ways to reach the host and file data. All of them go
// through the HostBase pointer that InitPlugin stored.
#pragma once

#include <cstdint>

#include "format/byte_source.h"
#include "lumivue/host_abi.h"

namespace yafa {

// The module's one piece of mutable global state.
HostBase* Host() noexcept;
void SetHost(HostBase* host) noexcept;

HostFile HostOpen(const char* name, int32_t mode, uint32_t tag1Data, uint32_t tag6Data) noexcept;
int32_t HostClose(HostFile file) noexcept;
int32_t HostSeek(HostFile file, int32_t offset, int32_t mode) noexcept;
int32_t HostRead(HostFile file, void* buffer, int32_t length) noexcept;
int32_t HostReadByte(HostFile file) noexcept;

// A host file as a ByteSource. Read asks the host for everything at once
// (more calls only for what one 32-bit read cannot carry, or what a short
// read left over) and stops at the first read that delivers nothing. Skip
// seeks from the current position; a seek the host refuses ends it.
class HostFileSource final : public ByteSource {
public:
    explicit HostFileSource(HostFile file) noexcept : file_(file) {}
    size_t Read(uint8_t* to, size_t length) noexcept override;
    int32_t ReadByte() noexcept override { return HostReadByte(file_); }
    bool Skip(uint64_t distance) noexcept override;
    int64_t Position() noexcept override { return HostSeek(file_, 0, HOST_SEEK_CURRENT); }

private:
    HostFile file_;
};

}  // namespace yafa
