// The plugin's only ways to reach the host and file data. All of them go
// through the HostBase pointer that InitPlugin stored.
#pragma once

#include <cstdint>

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

uint16_t ReadU16BE(HostFile file) noexcept;
uint32_t ReadU32BE(HostFile file) noexcept;

// Reads exactly `length` bytes, in as many host reads as it takes (a single
// one for any length below 2 GiB). False when the file ends first or the
// host reports an error: the caller must not use a partly filled buffer.
bool HostReadExact(HostFile file, void* buffer, uint32_t length) noexcept;

// Moves forward by an unsigned distance that may exceed what one signed
// 32-bit seek can carry. False when the host refuses a seek.
bool HostSkip(HostFile file, uint32_t distance) noexcept;

}  // namespace yafa
