#include "support/swf_lzma.h"

#include <lzma.h>

#include <stdexcept>

namespace testswf {

Bytes lzmaCompressForSwfNoEndMarker(const Bytes& in) {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 6);
    opt.ext_flags = 0;  // no end marker
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    uint8_t props[5];
    lzma_filter propsFilter{LZMA_FILTER_LZMA1, &opt};
    if (lzma_properties_encode(&propsFilter, props) != LZMA_OK) throw std::runtime_error("lzma props failed");
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&s, filters) != LZMA_OK) throw std::runtime_error("lzma raw init failed");
    Bytes out(in.size() + in.size() / 2 + 1024);
    s.next_in = in.data();
    s.avail_in = in.size();
    s.next_out = out.data();
    s.avail_out = out.size();
    lzma_ret r = LZMA_OK;
    while (r == LZMA_OK)
        r = lzma_code(&s, LZMA_FINISH);
    size_t produced = out.size() - s.avail_out;
    lzma_end(&s);
    if (r != LZMA_STREAM_END) throw std::runtime_error("lzma compress failed");
    Bytes swf(props, props + 5);
    swf.insert(swf.end(), out.begin(), out.begin() + produced);
    return swf;
}

Bytes makeZws(const Bytes& body, bool endMarker, uint8_t version, uint32_t declaredLength) {
    Bytes lz = endMarker ? lzmaCompressForSwf(body) : lzmaCompressForSwfNoEndMarker(body);
    ByteWriter w;
    w.u8('Z').u8('W').u8('S').u8(version);
    w.u32(declaredLength ? declaredLength : static_cast<uint32_t>(8 + body.size()));
    w.u32(static_cast<uint32_t>(lz.size() - 5)).raw(lz);
    return w.bytes();
}

Bytes makeCws(const Bytes& body, uint8_t version, uint32_t declaredLength) {
    ByteWriter w;
    w.u8('C').u8('W').u8('S').u8(version);
    w.u32(declaredLength ? declaredLength : static_cast<uint32_t>(8 + body.size()));
    w.raw(zlibCompress(body));
    return w.bytes();
}

}  // namespace testswf
