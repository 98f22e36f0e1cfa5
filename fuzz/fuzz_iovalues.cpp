// SPDX-License-Identifier: MIT
// The IO page's value parser and formatter: any line of text, in both bases.
#include "iovalues.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (iovalues::Base base : {iovalues::Base::Decimal, iovalues::Base::Hex}) {
        const std::vector<int> values = iovalues::readValues(text, base);
        const iovalues::Transmit tx = iovalues::transmitBuffer(text, base);
        if (values.size() > iovalues::kMaxBytes || tx.count != static_cast<int>(values.size()))
            std::abort();
        for (std::size_t i = 0; i < iovalues::kMaxBytes; ++i)
            if (tx.bytes[i] != (i < values.size() ? iovalues::lowByte(values[i]) : 0))
                std::abort();
        // What is shown reads back as the same bytes.
        const std::string shown = iovalues::formatBytes(tx.bytes.data(), std::size_t(tx.count), base);
        const iovalues::Transmit back = iovalues::transmitBuffer(shown, base);
        if (back.count != tx.count || back.bytes != tx.bytes)
            std::abort();
    }
    return 0;
}
