// Everything the tool says on stderr: errors, command-line mistakes, frame
// failures and notes. Each is one line starting "yafa: ", so scripts can
// grep for it and users see at once which program spoke.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace yafa::tool {

enum ExitCode : int {
    kExitOk = 0,
    kExitOpen = 1,   // bad usage, plugin not loadable, animation not openable, output not writable
    kExitFrame = 2,  // a frame failed to decode (after the frames before it were written)
};

// "yafa: SUBJECT: MESSAGE", or "yafa: MESSAGE" without a subject; returns code.
int Complain(int code, std::string_view subject, std::string_view message);

// A command-line mistake: "yafa: MESSAGE; see 'yafa COMMAND --help'" (or
// 'yafa --help' without a command); returns kExitOpen.
int ComplainUsage(std::string_view command, std::string_view message);

// "yafa: FILE: frame N cannot be decoded: REASON"; returns kExitFrame.
int ComplainFrame(std::string_view file, int32_t frame, std::string_view reason);

// "yafa: note: SUBJECT: MESSAGE" for something the tool changed on the
// user's behalf, unless notes are off (--quiet).
void Note(std::string_view subject, std::string_view message);
void SetQuiet(bool quiet);

// 1234567 as "1,234,567".
std::string Grouped(uint64_t value);

}  // namespace yafa::tool
