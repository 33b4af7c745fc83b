// The name a frame's storage is shown by in `yafa info`, `yafa check` and the
// browser player, from the first bytes of the stored frame, read as the
// decoder reads them: "S404", "XPK-FAST" (any "XPK-<method>", "XPK-?" when
// the method tag is cut short or not printable), "raw" for anything else,
// and "missing" when not one byte of the frame is in the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/s404_format.h"
#include "format/xpk_format.h"

namespace yafa {

// Bytes of a stored frame that its name depends on.
inline constexpr size_t kStorageHeadBytes = kXpkMethodTagOffset + 4;

struct StorageName {
    char text[9] = {};  // "XPK-" and 4 characters at most, and the terminator
};

constexpr StorageName NameStorage(const uint8_t* head, size_t got) noexcept {
    StorageName name;
    auto put = [&name](const char* s) {
        for (size_t i = 0; s[i] && i + 1 < sizeof name.text; ++i) name.text[i] = s[i];
    };
    auto tagIs = [&](const uint8_t (&tag)[4]) {
        return got >= 4 && head[0] == tag[0] && head[1] == tag[1] && head[2] == tag[2] && head[3] == tag[3];
    };
    if (got == 0) {
        put("missing");
    } else if (tagIs(kS404Tag)) {
        put("S404");
    } else if (tagIs(kXpkTag)) {
        put("XPK-?");
        bool printable = got >= kStorageHeadBytes;
        for (size_t i = 0; printable && i < 4; ++i) {
            const uint8_t c = head[kXpkMethodTagOffset + i];
            printable = c >= 0x20 && c <= 0x7e;
        }
        for (size_t i = 0; printable && i < 4; ++i) name.text[4 + i] = char(head[kXpkMethodTagOffset + i]);
    } else {
        put("raw");
    }
    return name;
}

}  // namespace yafa
