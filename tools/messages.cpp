#include "messages.h"

#include <cstdio>

namespace yafa::tool {
namespace {

bool quietNotes = false;

void Say(std::string_view prefix, std::string_view subject, std::string_view message, std::string_view suffix) {
    std::string line = "yafa: ";
    line += prefix;
    if (!subject.empty()) line.append(subject).append(": ");
    line += message;
    line += suffix;
    // One line, whatever a library put into its message.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    std::fflush(stdout);  // so that a message follows what came before it
    std::fputs(line.c_str(), stderr);
}

}  // namespace

int Complain(int code, std::string_view subject, std::string_view message) {
    Say("", subject, message, "");
    return code;
}

int ComplainUsage(std::string_view command, std::string_view message) {
    const std::string help = command.empty() ? "yafa --help" : "yafa " + std::string(command) + " --help";
    Say("", "", message, "; see '" + help + "'");
    return kExitOpen;
}

int ComplainFrame(std::string_view file, int32_t frame, std::string_view reason) {
    return Complain(kExitFrame, file, "frame " + std::to_string(frame) + " cannot be decoded: " + std::string(reason));
}

void Note(std::string_view subject, std::string_view message) {
    if (!quietNotes) Say("note: ", subject, message, "");
}

void SetQuiet(bool quiet) { quietNotes = quiet; }

std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace yafa::tool
