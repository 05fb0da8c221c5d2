// The POSIX backend's reading of marked input (0xFF 0x00 0x00 a break, 0xFF 0x00 x a byte
// received in error, 0xFF 0xFF a real 0xFF, 0xFF and any other byte both kept): any
// cutting of the input into reads decodes as a reference decoder of the whole does, the
// breaks and errors seen included.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "serial/posix/posix_input.h"

namespace {

struct Decoded {
    std::vector<std::pair<std::uint8_t, bool>> bytes;  // (byte, received in error)
    bool breaks = false;
    bool errors = false;
    bool operator==(const Decoded&) const = default;
};

Decoded reference(const std::vector<std::uint8_t>& in) {
    Decoded out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != 0xFF) {
            out.bytes.emplace_back(in[i], false);
            continue;
        }
        if (i + 1 == in.size()) break;  // a mark cut off at the end: nothing yet
        const std::uint8_t next = in[++i];
        if (next == 0xFF) {
            out.bytes.emplace_back(0xFF, false);
        } else if (next != 0x00) {
            out.bytes.emplace_back(0xFF, false);
            out.bytes.emplace_back(next, false);
        } else if (i + 1 < in.size()) {
            const std::uint8_t marked = in[++i];
            if (marked == 0x00)
                out.breaks = true;
            else {
                out.errors = true;
                out.bytes.emplace_back(marked, true);
            }
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    // The first bytes choose where the reads end, the rest is the input.
    std::vector<std::size_t> reads;
    for (int n = provider.ConsumeIntegralInRange<int>(0, 8); n > 0; --n)
        reads.push_back(provider.ConsumeIntegralInRange<std::size_t>(0, 16));
    const std::vector<std::uint8_t> input = provider.ConsumeRemainingBytes<std::uint8_t>();

    comm::posix::MarkedInput marks;
    Decoded got;
    auto deliver = [&](std::uint8_t c, bool errored) { got.bytes.emplace_back(c, errored); };
    std::size_t at = 0;
    for (std::size_t i = 0; at < input.size(); ++i) {
        const std::size_t n =
            i < reads.size() ? std::min(reads[i], input.size() - at) : input.size() - at;
        const auto seen = marks.feed(input.data() + at, n, deliver);
        got.breaks |= seen.breaks;
        got.errors |= seen.errors;
        at += n;
    }
    if (!(got == reference(input))) std::abort();
    return 0;
}
