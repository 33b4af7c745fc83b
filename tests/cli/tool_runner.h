// Runs the yafa tool as a user runs it, in a scratch folder of its own, and
// reads back what it printed and wrote.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
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
    // The tool finds yafa.lvp beside itself.
    ToolResult Run(const std::string& args) {
        const std::string cmd = std::string(YAFA_TOOL_PATH) + " " + args + " >" + (dir_ / "stdout").string() + " 2>" +
                                (dir_ / "stderr").string() + " </dev/null";
        const int status = std::system(cmd.c_str());
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return {code, Slurp(dir_ / "stdout"), Slurp(dir_ / "stderr")};
    }

    fs::path dir_;
};

}  // namespace yafa::test
