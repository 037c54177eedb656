// libFuzzer target: the AVM1 action decoder on arbitrary bytes, checking the record offsets it reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "swf/actions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    auto d = swf::decodeActionsLenient(in);
    uint32_t expected = 0;
    for (const auto& a : d.actions) {
        // Records are contiguous, inside the input, and start with the opcode they report.
        if (a.offset != expected || a.next() > size || in[a.offset] != a.opcode) std::abort();
        expected = a.next();
    }
    if (d.error && (d.error->offset < 0 || size_t(d.error->offset) >= size)) std::abort();
    auto strict = swf::decodeActions(in);
    if (strict.ok() != !d.error) std::abort();
    return 0;
}
