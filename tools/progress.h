// A one-line progress count on stderr, shown only when stderr is a terminal
// and the job is long enough to be worth it.
#pragma once

#include <cstdint>
#include <string>

namespace yafa::tool {

class Progress {
public:
    Progress(std::string label, uint64_t total);
    ~Progress();  // ends the line if one was drawn
    void Step(uint64_t done);

private:
    std::string label_;
    uint64_t total_;
    bool enabled_;
    bool drawn_ = false;
    int lastPercent_ = -1;
};

}  // namespace yafa::tool
