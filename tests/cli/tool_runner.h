// Runs the yafa tool as a user runs it, in a scratch folder of its own, and
// reads back what it printed and wrote.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace yafa::test {

namespace fs = std::filesystem;

struct ToolResult {
    int code;
    std::string out, err;
    long maxRssKiB;  // the largest resident size the command reached
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("yafa_tool_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p.string();
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // The tool, which finds yafa.lvp beside itself, with `args` after its
    // name in a shell command line (which may redirect standard input; it is
    // /dev/null otherwise), or fed by the shell command `pipeFrom`.
    ToolResult Run(const std::string& args, const std::string& pipeFrom = "") {
        const std::string tool = std::string(YAFA_TOOL_PATH) + (pipeFrom.empty() ? " </dev/null " : " ");
        const std::string cmd = (pipeFrom.empty() ? "" : pipeFrom + " | ") + tool + args + " >" + Path("stdout") +
                                " 2>" + Path("stderr");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return {code, Slurp(Path("stdout")), Slurp(Path("stderr")), usage.ru_maxrss};
    }

    // Files a command left behind under a temporary name.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            if (entry.path().filename().string().find(".part-") != std::string::npos) found.push_back(entry.path());
        return found;
    }

    fs::path dir_;
};

// Every message is one line "yafa: ...".
inline ::testing::AssertionResult OneMessage(const std::string& err) {
    if (std::count(err.begin(), err.end(), '\n') == 1 && err.starts_with("yafa: ")) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not one 'yafa: ' line: " << err;
}

}  // namespace yafa::test
