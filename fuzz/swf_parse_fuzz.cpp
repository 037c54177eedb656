// libFuzzer target: the SWF movie parser on arbitrary bytes. Inputs starting with a movie signature go
// through parseMovie() (decompression included); every input is also parsed as a bare tag stream, so the
// fuzzer reaches the tag readers without having to find a valid movie header first.
#include <cstddef>
#include <cstdint>
#include <span>

#include "swf/swf.h"

namespace {

// Walks the parsed tags so every record is touched (sanitizers then see any bad object).
size_t touch(const std::vector<swf::Tag>& tags) {
    size_t n = 0;
    for (const auto& t : tags) {
        n += t.length;
        if (auto* s = std::get_if<swf::DefineSprite>(&t.body)) n += touch(s->tags);
        if (auto* sh = std::get_if<swf::DefineShape>(&t.body)) n += sh->shape.records.size();
        if (auto* a = std::get_if<swf::DoAction>(&t.body)) n += a->records.size();
        if (auto* p = std::get_if<swf::PlaceObject>(&t.body); p && p->filters)
            for (const auto& f : *p->filters)
                n += swf::decodeFilter(f).ok();
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    swf::ParseOptions options;
    options.maxMovieBytes = size_t(64) << 20;  // keep memory within the fuzzer's limit
    options.maxParsedBytes = uint64_t(64) << 20;
    volatile size_t sink = 0;
    if (size >= 3 && in[1] == 'W' && in[2] == 'S') {
        auto m = swf::parseMovie(in, options);
        if (m.ok()) sink = sink + touch(m->tags) + m->errors.size();

        // Stream the body in small reads, as a movie probe does.
        auto reader = swf::BodyReader::open(in, options.maxMovieBytes);
        if (reader.ok()) {
            uint8_t buf[97];
            while (!reader->atEnd())
                sink = sink + reader->read(buf, sizeof buf);
        }
    }
    if (size >= 1) {
        std::vector<swf::Error> errors;
        auto tags = swf::parseTags(in.subspan(1), in[0], errors, 0, options);
        sink = sink + touch(tags) + errors.size();
    }
    (void)sink;
    return 0;
}
