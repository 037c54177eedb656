#include "support/swf_builder.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testswf {

void BitWriter::ub(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1u);
        if (++used_ == 8) {
            out_.push_back(static_cast<uint8_t>(acc_));
            acc_ = 0;
            used_ = 0;
        }
    }
}

void BitWriter::sb(int32_t value, int bits) {
    ub(static_cast<uint32_t>(value), bits);
}

void BitWriter::fb(double value, int bits) {
    sb(static_cast<int32_t>(std::lround(value * 65536.0)), bits);
}

void BitWriter::align() {
    if (used_ > 0) ub(0, 8 - used_);
}

const Bytes& BitWriter::bytes() {
    align();
    return out_;
}

int BitWriter::sbits(int32_t value) {
    int n = 1;
    while (n < 32) {
        int32_t lo = -(int32_t(1) << (n - 1));
        int32_t hi = (int32_t(1) << (n - 1)) - 1;
        if (value >= lo && value <= hi) break;
        ++n;
    }
    return n;
}

int BitWriter::ubits(uint32_t value) {
    int n = 0;
    while (n < 32 && (value >> n) != 0)
        ++n;
    return n;
}

ByteWriter& ByteWriter::u8(uint8_t v) {
    out_.push_back(v);
    return *this;
}
ByteWriter& ByteWriter::u16(uint16_t v) {
    out_.push_back(v & 0xFF);
    out_.push_back(v >> 8);
    return *this;
}
ByteWriter& ByteWriter::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_.push_back((v >> (8 * i)) & 0xFF);
    return *this;
}
ByteWriter& ByteWriter::fixed8(double v) {
    return u16(static_cast<uint16_t>(std::lround(v * 256.0)));
}
ByteWriter& ByteWriter::str(const std::string& s) {
    out_.insert(out_.end(), s.begin(), s.end());
    out_.push_back(0);
    return *this;
}
ByteWriter& ByteWriter::raw(const Bytes& b) {
    out_.insert(out_.end(), b.begin(), b.end());
    return *this;
}
ByteWriter& ByteWriter::raw(const uint8_t* p, size_t n) {
    out_.insert(out_.end(), p, p + n);
    return *this;
}

ByteWriter& ByteWriter::rect(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax) {
    int n = std::max(
        {BitWriter::sbits(xmin), BitWriter::sbits(xmax), BitWriter::sbits(ymin), BitWriter::sbits(ymax)});
    BitWriter b;
    b.ub(n, 5);
    b.sb(xmin, n);
    b.sb(xmax, n);
    b.sb(ymin, n);
    b.sb(ymax, n);
    return raw(b.bytes());
}

ByteWriter& ByteWriter::matrix(double sx, double sy, double r0, double r1, int32_t tx, int32_t ty) {
    BitWriter b;
    bool hasScale = sx != 1.0 || sy != 1.0;
    b.ub(hasScale, 1);
    if (hasScale) {
        int32_t a = static_cast<int32_t>(std::lround(sx * 65536.0));
        int32_t d = static_cast<int32_t>(std::lround(sy * 65536.0));
        int n = std::max(BitWriter::sbits(a), BitWriter::sbits(d));
        b.ub(n, 5);
        b.sb(a, n);
        b.sb(d, n);
    }
    bool hasRotate = r0 != 0.0 || r1 != 0.0;
    b.ub(hasRotate, 1);
    if (hasRotate) {
        int32_t a = static_cast<int32_t>(std::lround(r0 * 65536.0));
        int32_t d = static_cast<int32_t>(std::lround(r1 * 65536.0));
        int n = std::max(BitWriter::sbits(a), BitWriter::sbits(d));
        b.ub(n, 5);
        b.sb(a, n);
        b.sb(d, n);
    }
    int n = (tx == 0 && ty == 0) ? 0 : std::max(BitWriter::sbits(tx), BitWriter::sbits(ty));
    b.ub(n, 5);
    if (n) {
        b.sb(tx, n);
        b.sb(ty, n);
    }
    return raw(b.bytes());
}

ByteWriter& ByteWriter::cxform(bool withAlpha, const int mul[4], const int add[4]) {
    int channels = withAlpha ? 4 : 3;
    bool hasMul = false, hasAdd = false;
    int n = 1;
    for (int i = 0; i < channels; ++i) {
        if (mul[i] != 256) hasMul = true;
        if (add[i] != 0) hasAdd = true;
    }
    for (int i = 0; i < channels; ++i) {
        if (hasMul) n = std::max(n, BitWriter::sbits(mul[i]));
        if (hasAdd) n = std::max(n, BitWriter::sbits(add[i]));
    }
    BitWriter b;
    b.ub(hasAdd, 1);
    b.ub(hasMul, 1);
    b.ub(n, 4);
    if (hasMul)
        for (int i = 0; i < channels; ++i)
            b.sb(mul[i], n);
    if (hasAdd)
        for (int i = 0; i < channels; ++i)
            b.sb(add[i], n);
    return raw(b.bytes());
}

ByteWriter& ByteWriter::rgb(uint32_t c) {
    return u8(c >> 16).u8(c >> 8).u8(c);
}
ByteWriter& ByteWriter::rgba(uint32_t c) {
    return u8(c >> 24).u8(c >> 16).u8(c >> 8).u8(c);
}

SwfBuilder& SwfBuilder::tag(uint16_t code, const Bytes& body, bool forceLong) {
    ByteWriter w;
    if (body.size() >= 0x3F || forceLong) {
        w.u16(static_cast<uint16_t>((code << 6) | 0x3F)).u32(static_cast<uint32_t>(body.size()));
    } else {
        w.u16(static_cast<uint16_t>((code << 6) | body.size()));
    }
    w.raw(body);
    tags_.insert(tags_.end(), w.bytes().begin(), w.bytes().end());
    return *this;
}

SwfBuilder& SwfBuilder::backgroundColor(uint32_t rrggbb) {
    return tag(9, ByteWriter().rgb(rrggbb).bytes());
}

Bytes SwfBuilder::build(Compression c) const {
    ByteWriter rest;
    if (header_.forceNbits >= 0) {
        BitWriter b;
        int n = header_.forceNbits;
        b.ub(n, 5);
        b.sb(header_.xmin, n);
        b.sb(header_.xmax, n);
        b.sb(header_.ymin, n);
        b.sb(header_.ymax, n);
        rest.raw(b.bytes());
    } else {
        rest.rect(header_.xmin, header_.xmax, header_.ymin, header_.ymax);
    }
    rest.u16(header_.frameRate88).u16(header_.frameCount).raw(tags_);
    const Bytes& body = rest.bytes();
    uint32_t length = header_.overrideLength ? header_.length : static_cast<uint32_t>(8 + body.size());

    ByteWriter out;
    const char* sig = c == Compression::None ? "FWS" : c == Compression::Zlib ? "CWS" : "ZWS";
    out.u8(sig[0]).u8(sig[1]).u8(sig[2]).u8(header_.version).u32(length);
    if (c == Compression::None) {
        out.raw(body);
    } else if (c == Compression::Zlib) {
        out.raw(zlibCompress(body));
    } else {
        Bytes lz = lzmaCompressForSwf(body);
        out.u32(static_cast<uint32_t>(lz.size() - 5)).raw(lz);
    }
    return out.bytes();
}

Bytes makeProjectorRaw(const Bytes& stub, const Bytes& movie, uint32_t marker, uint32_t length) {
    ByteWriter w;
    w.raw(stub).raw(movie).u32(marker).u32(length);
    return w.bytes();
}

Bytes makeProjector(const Bytes& movie, size_t stubSize, uint32_t marker) {
    Bytes stub(stubSize);
    for (size_t i = 0; i < stubSize; ++i)
        stub[i] = static_cast<uint8_t>((i * 131u + 7u) & 0xFF);
    if (stubSize >= 2) {
        stub[0] = 'M';
        stub[1] = 'Z';
    }
    return makeProjectorRaw(stub, movie, marker, static_cast<uint32_t>(movie.size()));
}

Bytes zlibCompress(const Bytes& in) {
    uLongf cap = compressBound(static_cast<uLong>(in.size()));
    Bytes out(cap);
    if (compress2(out.data(), &cap, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK)
        throw std::runtime_error("zlib compress failed");
    out.resize(cap);
    return out;
}

Bytes lzmaCompressForSwf(const Bytes& in) {
    lzma_options_lzma opt;
    lzma_lzma_preset(&opt, 6);
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&s, &opt) != LZMA_OK) throw std::runtime_error("lzma init failed");
    Bytes out(in.size() + in.size() / 2 + 1024);
    s.next_in = in.data();
    s.avail_in = in.size();
    s.next_out = out.data();
    s.avail_out = out.size();
    lzma_ret r = lzma_code(&s, LZMA_FINISH);
    while (r == LZMA_OK)
        r = lzma_code(&s, LZMA_FINISH);
    size_t produced = out.size() - s.avail_out;
    lzma_end(&s);
    if (r != LZMA_STREAM_END) throw std::runtime_error("lzma compress failed");
    out.resize(produced);
    // .lzma ("alone") header: 5 property bytes + 8-byte size; SWF keeps the properties only.
    Bytes swf(out.begin(), out.begin() + 5);
    swf.insert(swf.end(), out.begin() + 13, out.end());
    return swf;
}

bool writeFile(const std::string& path, const Bytes& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

std::string corpusDir() {
    const char* env = std::getenv("TOLVIKAN_SHARED");
    std::string base = env && *env ? env : TOLVIKAN_SHARED_DIR;
    std::filesystem::path p = std::filesystem::path(base) / "corpus";
    std::error_code ec;
    if (std::filesystem::exists(p / "manifest.tsv", ec)) return p.string();
    return {};
}

}  // namespace testswf
