#include "stand_in_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>
#include <utility>

namespace yafa::host {
namespace {

// A plugin that misuses the host is a bug to be caught at once, not an
// error to recover from.
[[noreturn]] void Fatal(const char* format, ...) {
    std::fputs("stand-in host: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

// Longest tag list accepted before the missing end item is reported.
constexpr size_t kMaxTagItems = 64;

// Small reads and readByte on real files go through a window of this size.
constexpr size_t kWindowSize = 64 * 1024;

struct OpenFile {
    std::string name;
    int fd = -1;                                        // real file, or -1
    std::shared_ptr<const std::vector<uint8_t>> memory;  // in-memory file
    int64_t position = 0;
    std::vector<uint8_t> window;  // bytes of a real file from windowStart
    int64_t windowStart = 0;
};

// The live host and its state; the services reach them only through these.
StandInHost* gHost = nullptr;
StandInHost::State* gState = nullptr;

}  // namespace

struct StandInHost::State {
    std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> memoryFiles;
    std::unordered_map<OpenFile*, std::unique_ptr<OpenFile>> files;
    std::vector<RegisterCall> registrations;
    std::vector<OpenCall> opens;
    FileStats stats;
    FaultPlan faults;
    int64_t readCalls = 0;  // since the last setFaults
    int64_t seekCalls = 0;
    int64_t byteCalls = 0;
};

namespace {

StandInHost::State& Live(const char* service) {
    if (gState == nullptr) Fatal("%s called while no host lives", service);
    return *gState;
}

OpenFile& FileOf(StandInHost::State& state, HostFile file, const char* service) {
    auto it = state.files.find(static_cast<OpenFile*>(file));
    if (it == state.files.end()) Fatal("%s on %p, which is not an open file", service, file);
    return *it->second;
}

// Reads from a real file at `offset` without moving the descriptor; short
// only at the end of the file. -1 on an I/O error.
int64_t PreadFull(int fd, void* buffer, size_t length, int64_t offset) {
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd, static_cast<uint8_t*>(buffer) + done, length - done, offset + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

// Copies up to `length` bytes at the file's position; does not move it.
int64_t ReadAt(OpenFile& file, void* buffer, size_t length) {
    const int64_t pos = file.position;
    if (file.memory) {
        const auto size = static_cast<int64_t>(file.memory->size());
        if (pos >= size || length == 0) return 0;
        const size_t n = std::min<size_t>(length, static_cast<size_t>(size - pos));
        std::memcpy(buffer, file.memory->data() + pos, n);
        return static_cast<int64_t>(n);
    }
    if (length >= kWindowSize) return PreadFull(file.fd, buffer, length, pos);
    const int64_t windowEnd = file.windowStart + static_cast<int64_t>(file.window.size());
    if (pos < file.windowStart || pos + static_cast<int64_t>(length) > windowEnd) {
        file.window.resize(kWindowSize);
        const int64_t got = PreadFull(file.fd, file.window.data(), kWindowSize, pos);
        if (got < 0) {
            file.window.clear();
            return -1;
        }
        file.window.resize(static_cast<size_t>(got));
        file.windowStart = pos;
    }
    const int64_t available = file.windowStart + static_cast<int64_t>(file.window.size()) - pos;
    const size_t n = std::min<size_t>(length, static_cast<size_t>(std::max<int64_t>(available, 0)));
    if (n) std::memcpy(buffer, file.window.data() + (pos - file.windowStart), n);
    return static_cast<int64_t>(n);
}

HostFile OpenNamed(StandInHost::State& state, const char* name) {
    auto file = std::make_unique<OpenFile>();
    file->name = name;
    if (auto it = state.memoryFiles.find(name); it != state.memoryFiles.end()) {
        file->memory = it->second;
    } else {
        const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        file->fd = fd;
    }
    OpenFile* handle = file.get();
    state.files.emplace(handle, std::move(file));
    ++state.stats.opens;
    return handle;
}

void CloseOpenFile(OpenFile& file) {
    if (file.fd >= 0) ::close(file.fd);
    file.fd = -1;
}

// ---- the services ----------------------------------------------------------

int32_t ServiceRegisterFileType(PluginInfo* info, int32_t kind, const char* typeName, int32_t arg3,
                                const char* extension, int32_t arg5, int32_t arg6) {
    auto& state = Live("registerFileType");
    state.registrations.push_back(
        RegisterCall{info, kind, typeName ? typeName : "", arg3, extension ? extension : "", arg5, arg6});
    return 1;
}

HostFile ServiceOpen(const char* name, int32_t mode) {
    auto& state = Live("open");
    if (name == nullptr) Fatal("open with a null name");
    state.opens.push_back(OpenCall{name, mode, false, {}});
    return OpenNamed(state, name);
}

HostFile ServiceOpenWithTags(const char* name, int32_t mode, const HostTag* tags) {
    auto& state = Live("openWithTags");
    if (name == nullptr) Fatal("openWithTags with a null name");
    if (tags == nullptr) Fatal("openWithTags of \"%s\" with a null tag list", name);
    OpenCall call{name, mode, true, {}};
    for (size_t i = 0;; ++i) {
        if (i == kMaxTagItems) Fatal("openWithTags of \"%s\": no end item in %zu tags", name, kMaxTagItems);
        call.tags.push_back(tags[i]);
        if (tags[i].tag == HOST_TAG_END) break;
    }
    state.opens.push_back(std::move(call));
    return OpenNamed(state, name);
}

int32_t ServiceClose(HostFile handle) {
    auto& state = Live("close");
    OpenFile& file = FileOf(state, handle, "close");
    CloseOpenFile(file);
    state.files.erase(&file);
    ++state.stats.closes;
    return 1;
}

int32_t ServiceSeek(HostFile handle, int32_t offset, int32_t mode) {
    auto& state = Live("seek");
    OpenFile& file = FileOf(state, handle, "seek");
    ++state.stats.seeks;
    const int64_t call = state.seekCalls++;
    if (call == state.faults.failSeekAt) return -1;
    int64_t target;
    if (mode == HOST_SEEK_CURRENT) {
        target = file.position + offset;
    } else if (mode == HOST_SEEK_START) {
        target = offset;
    } else {
        return -1;
    }
    // The result is the old position as a signed 32-bit value, so neither
    // end of the move may leave that range.
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    if (target < 0 || target > kMax || file.position > kMax) return -1;
    const auto before = static_cast<int32_t>(file.position);
    file.position = target;
    return before;
}

int32_t ServiceRead(HostFile handle, void* buffer, int32_t length) {
    auto& state = Live("read");
    OpenFile& file = FileOf(state, handle, "read");
    ++state.stats.reads;
    const int64_t call = state.readCalls++;
    if (length < 0) return -1;
    if (buffer == nullptr && length > 0) Fatal("read of %d bytes into a null buffer", length);
    int32_t wanted = length;
    if (call == state.faults.shortReadAt) wanted = length / 2;
    const int64_t got = ReadAt(file, buffer, static_cast<size_t>(wanted));
    if (got < 0) return -1;
    file.position += got;
    state.stats.readBytes += static_cast<uint64_t>(got);
    return static_cast<int32_t>(got);
}

int32_t ServiceReadByte(HostFile handle) {
    auto& state = Live("readByte");
    OpenFile& file = FileOf(state, handle, "readByte");
    ++state.stats.byteReads;
    const int64_t call = state.byteCalls++;
    if (state.faults.eofByteAt >= 0 && call >= state.faults.eofByteAt) return -1;
    uint8_t byte = 0;
    if (ReadAt(file, &byte, 1) != 1) return -1;
    file.position += 1;
    return byte;
}

// Every slot that the plugin must never call gets its own function, so the
// message names the slot.
template <int Slot>
void UnusedCoreSlot() {
    Fatal("the plugin called core service slot %d, which it never uses", Slot);
}

template <int Slot>
void UnusedFileSlot() {
    Fatal("the plugin called file service slot %d, which it never uses", Slot);
}

template <size_t... I>
constexpr HostCoreApi MakeCoreApi(std::index_sequence<I...>) {
    HostCoreApi api{};
    ((api.unused[I] = &UnusedCoreSlot<static_cast<int>(I)>), ...);
    api.registerFileType = &ServiceRegisterFileType;
    return api;
}

template <size_t... I>
constexpr HostFileApi MakeFileApi(std::index_sequence<I...>) {
    HostFileApi api{};
    api.open = &ServiceOpen;
    api.close = &ServiceClose;
    api.seek = &ServiceSeek;
    api.read = &ServiceRead;
    api.unused4 = &UnusedFileSlot<4>;
    api.readByte = &ServiceReadByte;
    ((api.unused6to31[I] = &UnusedFileSlot<static_cast<int>(I) + 6>), ...);
    api.openWithTags = &ServiceOpenWithTags;
    return api;
}

constinit HostCoreApi gCoreApi = MakeCoreApi(std::make_index_sequence<HOST_CORE_SLOT_REGISTER_FILE_TYPE>{});
constinit HostFileApi gFileApi = MakeFileApi(std::make_index_sequence<HOST_FILE_SLOT_OPEN_WITH_TAGS - 6>{});

}  // namespace

StandInHost::StandInHost(int32_t version, int32_t revision) : state_(std::make_unique<State>()) {
    if (gHost != nullptr) Fatal("a second StandInHost was created while one lives");
    base_.version = version;
    base_.revision = revision;
    base_.coreApi = &gCoreApi;
    base_.fileApi = &gFileApi;
    gHost = this;
    gState = state_.get();
}

StandInHost::~StandInHost() {
    for (auto& [handle, file] : state_->files) CloseOpenFile(*file);
    state_->files.clear();
    if (gHost == this) {
        gHost = nullptr;
        gState = nullptr;
    }
}

HostBase* StandInHost::base() noexcept { return &base_; }

void StandInHost::setVersion(int32_t version, int32_t revision) {
    base_.version = version;
    base_.revision = revision;
}

int32_t StandInHost::version() const { return base_.version; }
int32_t StandInHost::revision() const { return base_.revision; }

PluginInfo StandInHost::initInfo() const {
    PluginInfo info{};
    info.hostVersion = base_.version;
    info.hostRevision = base_.revision;
    return info;
}

void StandInHost::addMemoryFile(const std::string& name, std::vector<uint8_t> bytes) {
    state_->memoryFiles[name] = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

const std::vector<RegisterCall>& StandInHost::registrations() const { return state_->registrations; }
const std::vector<OpenCall>& StandInHost::opens() const { return state_->opens; }
const FileStats& StandInHost::stats() const { return state_->stats; }
void StandInHost::resetStats() { state_->stats = FileStats{}; }
size_t StandInHost::openFileCount() const { return state_->files.size(); }

void StandInHost::setFaults(const FaultPlan& plan) {
    state_->faults = plan;
    state_->readCalls = 0;
    state_->seekCalls = 0;
    state_->byteCalls = 0;
}

StandInHost* StandInHost::current() noexcept { return gHost; }

}  // namespace yafa::host
