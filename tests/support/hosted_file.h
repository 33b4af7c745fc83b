// Bytes served by a stand-in host and opened through the plugin's own host
// services, for the unpackers that read a frame from the file.
#pragma once

#include <cstdint>
#include <vector>

#include "host/stand_in_host.h"
#include "io/host_services.h"

namespace yafa::test {

class HostedFile {
public:
    explicit HostedFile(const std::vector<uint8_t>& bytes) : host_(10, 0) {
        host_.addMemoryFile("f", bytes);
        SetHost(host_.base());
        file_ = HostOpen("f", 0, 0, 0);
    }
    ~HostedFile() {
        HostClose(file_);
        SetHost(nullptr);
    }
    HostFile get() const { return file_; }
    host::StandInHost& host() { return host_; }
    int32_t Position() const { return HostSeek(file_, 0, HOST_SEEK_CURRENT); }

private:
    host::StandInHost host_;
    HostFile file_;
};

}  // namespace yafa::test
