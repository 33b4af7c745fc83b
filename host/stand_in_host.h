// A stand-in for the Lumivue host: a HostBase whose file services work over
// real files and in-memory files, and that records what a plugin asks of it.
//
// Only one StandInHost may live at a time. The service tables hold plain C
// functions that reach the live host through a static pointer, because the
// plugin calls them with nothing but the HostFile. Constructing a second host
// while one lives aborts. The host is not thread-safe, as the plugin makes
// its calls on the host's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lumivue/host_abi.h"

namespace yafa::host {

// One call of the core service registerFileType (slot 19), its seven
// arguments as passed (texts copied; a null text is recorded as "").
struct RegisterCall {
    PluginInfo* info;
    int32_t kind;
    std::string typeName;
    int32_t arg3;
    std::string extension;
    int32_t arg5;
    int32_t arg6;
};

// One call of open or openWithTags. `tags` holds the list up to and
// including its end item; it is empty for open.
struct OpenCall {
    std::string name;
    int32_t mode;
    bool withTags;
    std::vector<HostTag> tags;
};

// Counters since construction or the last resetStats.
struct FileStats {
    uint64_t opens = 0;      // successful open and openWithTags calls
    uint64_t closes = 0;     // close calls
    uint64_t seeks = 0;      // seek calls, failed ones included
    uint64_t reads = 0;      // read calls, failed ones included
    uint64_t readBytes = 0;  // bytes delivered by read calls
    uint64_t byteReads = 0;  // readByte calls, end-of-file answers included
};

// Faults to inject, each counted from the last setFaults call; -1 = never.
struct FaultPlan {
    int64_t shortReadAt = -1;  // that read call (0-based) returns fewer bytes than asked (half, rounded down) and later reads work
    int64_t failSeekAt = -1;   // that seek call returns -1 and does not move
    int64_t eofByteAt = -1;    // from that readByte call on, readByte returns -1 (end of file)
};

class StandInHost {
public:
    explicit StandInHost(int32_t version = 10, int32_t revision = 0);
    ~StandInHost();  // closes files still open
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    // Version in word 0, revision in word 1, core and file tables in words 3 and 4.
    HostBase* base() noexcept;

    void setVersion(int32_t version, int32_t revision);
    int32_t version() const;
    int32_t revision() const;

    // A PluginInfo ready for InitPlugin: zero except the host's version and
    // revision in words 3 and 4.
    PluginInfo initInfo() const;

    // An open of exactly this name serves these bytes instead of the file
    // system. Files already open keep the bytes they had.
    void addMemoryFile(const std::string& name, std::vector<uint8_t> bytes);

    const std::vector<RegisterCall>& registrations() const;
    const std::vector<OpenCall>& opens() const;  // every open and openWithTags call, successful or not

    const FileStats& stats() const;
    void resetStats();

    size_t openFileCount() const;  // opened and not yet closed

    void setFaults(const FaultPlan& plan);

    // The live host, or null.
    static StandInHost* current() noexcept;

    struct State;  // the services' view of the host; defined in the source

private:
    HostBase base_{};
    std::unique_ptr<State> state_;
};

}  // namespace yafa::host
