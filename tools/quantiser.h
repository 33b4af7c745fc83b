// What the tool's commands share of libimagequant.
#pragma once

#include <libimagequant.h>

#include <memory>

namespace yafa::tool {

// libimagequant spreads its work over OpenMP threads, whose spin-waiting
// costs more than it gains on frames of this size (and badly so on a busy
// machine). Asks for one thread, through the OpenMP runtime the quantiser
// brought in, if it did.
void UseOneQuantiserThread();

struct LiqDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};

template <class T>
using LiqPtr = std::unique_ptr<T, LiqDeleter>;

}  // namespace yafa::tool
