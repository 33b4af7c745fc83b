// Files as the commands read and write them: "-" for standard input or
// output, outputs written under a temporary name and renamed into place, and
// the refusals that keep a command from losing a file.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace yafa::tool {

// An input as the user named it. Standard input ("-") is copied into an
// anonymous in-memory file unless it is a regular file already, so that it
// can be read more than once and from any position, by path, like any file.
class Input {
public:
    // Null with a reason when "-" is a terminal or cannot be read.
    static std::optional<Input> Open(const std::string& argument, std::string* error);
    Input(Input&& other) noexcept;
    Input& operator=(Input&& other) noexcept;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input();

    const std::string& path() const { return path_; }  // to open
    const std::string& name() const { return name_; }  // for messages
    bool isStandardInput() const { return fd_ >= 0 || name_ == kStandardInput; }

    static constexpr const char* kStandardInput = "standard input";

private:
    Input() = default;
    std::string path_, name_;
    int fd_ = -1;  // the in-memory copy of standard input, owned
};

struct OutputRules {
    bool force = false;               // an existing file may be replaced
    std::vector<std::string> inputs;  // files the command reads, never written over
    std::string hint;                 // added when the output is an input or a folder, e.g. the argument order
};

// "-" is standard output, refused when it is a terminal (the outputs are
// binary); other paths are written to "NAME.part-XXXXXX" beside the final
// name and renamed into place by Commit, so no half-written file ever has
// the final name. The temporary file is removed when the object goes
// uncommitted, and when SIGINT, SIGTERM or SIGHUP end the program.
class OutputFile {
public:
    // Refuses (false, with the reason) a folder, an existing file without
    // rules.force, one of rules.inputs, or a terminal. Creates nothing.
    static bool Check(const std::string& path, const OutputRules& rules, std::string* error);
    // Check, then creates the temporary file.
    static std::unique_ptr<OutputFile> Create(const std::string& path, const OutputRules& rules, std::string* error);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* stream() const { return stream_; }
    const std::string& name() const { return name_; }  // the path, or "standard output"
    bool Write(const void* bytes, size_t size) { return std::fwrite(bytes, 1, size, stream_) == size; }
    // Flushes and closes; renames into place (refusing, without force, a file
    // that appeared meanwhile). False with a reason on any write error.
    bool Commit(std::string* error);

    static constexpr const char* kStandardOutput = "standard output";
    // For messages: the path, or "standard output" for "-".
    static std::string NameOf(const std::string& path) { return path == "-" ? kStandardOutput : path; }

private:
    OutputFile() = default;
    std::string path_, temp_, name_;
    std::FILE* stream_ = nullptr;
    bool force_ = false;
    int slot_ = -1;  // in the table of temporary files removed on a signal
};

// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Refuses with a hint when standard output is a terminal; for binary output.
bool StandardOutputTakesBinary(std::string* error);

}  // namespace yafa::tool
