#include "file_io.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

namespace yafa::tool {
namespace {

// Temporary outputs to remove when a signal ends the program. A signal
// handler may only touch plain memory, so the paths live in fixed slots.
constexpr int kTempSlots = 8;
constexpr size_t kTempPathMax = 4096;
char tempPaths[kTempSlots][kTempPathMax];
volatile std::sig_atomic_t tempUsed[kTempSlots];

extern "C" void RemoveTempsAndDie(int signal) {
    for (int i = 0; i < kTempSlots; ++i)
        if (tempUsed[i]) ::unlink(tempPaths[i]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void InstallSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;  // keep an ignored signal ignored
        struct sigaction action {};
        action.sa_handler = RemoveTempsAndDie;
        sigemptyset(&action.sa_mask);
        ::sigaction(sig, &action, nullptr);
    }
}

int RegisterTemp(const std::string& path) {
    if (path.size() >= kTempPathMax) return -1;
    InstallSignalHandlers();
    for (int i = 0; i < kTempSlots; ++i) {
        if (tempUsed[i]) continue;
        std::memcpy(tempPaths[i], path.c_str(), path.size() + 1);
        tempUsed[i] = 1;
        return i;
    }
    return -1;
}

void ForgetTemp(int slot) {
    if (slot >= 0) tempUsed[slot] = 0;
}

bool ReadAll(int from, int to, std::string* error) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                *error = std::string("cannot keep it in memory: ") + std::strerror(errno);
                return false;
            }
            done += w;
        }
    }
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// --- Input ------------------------------------------------------------------

std::optional<Input> Input::Open(const std::string& argument, std::string* error) {
    Input in;
    if (argument != "-") {
        in.path_ = in.name_ = argument;
        return in;
    }
    in.name_ = kStandardInput;
    if (::isatty(STDIN_FILENO) == 1) {
        *error = "is a terminal; pipe or redirect a file into it";
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode) && ::lseek(STDIN_FILENO, 0, SEEK_CUR) == 0) {
        // A redirected file: opened again by path, it reads from the start.
        in.path_ = "/proc/self/fd/0";
        return in;
    }
    in.fd_ = ::memfd_create("yafa-stdin", MFD_CLOEXEC);
    if (in.fd_ < 0) {
        *error = std::string("cannot keep it in memory: ") + std::strerror(errno);
        return std::nullopt;
    }
    if (!ReadAll(STDIN_FILENO, in.fd_, error)) return std::nullopt;
    in.path_ = "/proc/self/fd/" + std::to_string(in.fd_);
    return in;
}

Input::Input(Input&& other) noexcept { *this = std::move(other); }

Input& Input::operator=(Input&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        path_ = std::move(other.path_);
        name_ = std::move(other.name_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Input::~Input() {
    if (fd_ >= 0) ::close(fd_);
}

// --- Output -----------------------------------------------------------------

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool StandardOutputTakesBinary(std::string* error) {
    if (::isatty(STDOUT_FILENO) != 1) return true;
    *error = "is a terminal, and the output is binary; redirect it to a file or a pipe";
    return false;
}

bool OutputFile::Check(const std::string& path, const OutputRules& rules, std::string* error) {
    if (path == "-") return StandardOutputTakesBinary(error);
    const std::string hint = rules.hint.empty() ? "" : " (" + rules.hint + ")";
    for (const std::string& input : rules.inputs) {
        if (SameFile(path, input)) {
            *error = "is also an input, and is never written over" + hint;
            return false;
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            *error = "is a folder" + hint;
            return false;
        }
        if (!rules.force) {
            *error = "exists; give --force to replace it";
            return false;
        }
    }
    return true;
}

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& path, const OutputRules& rules, std::string* error) {
    if (!Check(path, rules, error)) return nullptr;
    std::unique_ptr<OutputFile> out(new OutputFile());
    out->force_ = rules.force;
    if (path == "-") {
        out->name_ = kStandardOutput;
        out->stream_ = stdout;
        return out;
    }
    out->path_ = out->name_ = path;
    std::string temp = path + ".part-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = "cannot create a file in " + DirectoryOf(path) + ": " + std::strerror(errno);
        return nullptr;
    }
    out->temp_ = temp;
    out->slot_ = RegisterTemp(temp);
    // mkstemp makes files for their owner only; give the output the mode a
    // plain create would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    out->stream_ = ::fdopen(fd, "wb");
    if (!out->stream_) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        ::close(fd);
        return nullptr;  // the destructor removes the temporary file
    }
    return out;
}

OutputFile::~OutputFile() {
    if (!temp_.empty()) {
        if (stream_) std::fclose(stream_);
        ::unlink(temp_.c_str());
        ForgetTemp(slot_);
    }
}

bool OutputFile::Commit(std::string* error) {
    if (temp_.empty()) {  // standard output
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            *error = std::string("cannot write: ") + std::strerror(errno);
            return false;
        }
        return true;
    }
    const bool written = std::ferror(stream_) == 0;
    const int closed = std::fclose(stream_);
    stream_ = nullptr;
    if (!written || closed != 0) {
        *error = std::string("cannot write: ") + std::strerror(errno ? errno : EIO);
        return false;
    }
    int result;
    if (force_) {
        result = std::rename(temp_.c_str(), path_.c_str());
    } else {
        // Never over a file that appeared while this one was written.
        result = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {  // file systems without it
            result = ::link(temp_.c_str(), path_.c_str());
            if (result == 0) ::unlink(temp_.c_str());
        }
    }
    if (result != 0) {
        *error = errno == EEXIST ? "appeared while it was being written; give --force to replace it"
                                 : std::string("cannot write: ") + std::strerror(errno);
        return false;  // the destructor removes the temporary file
    }
    temp_.clear();
    ForgetTemp(slot_);
    return true;
}

}  // namespace yafa::tool
