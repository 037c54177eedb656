#include "swf/decompress.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace swf {

namespace {

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::string Error::describe() const {
    std::string s = message;
    if (tagCode >= 0 || offset >= 0) {
        s += " (";
        if (tagCode >= 0) s += "tag " + std::to_string(tagCode);
        if (tagCode >= 0 && offset >= 0) s += " ";
        if (offset >= 0) s += "at offset " + std::to_string(offset);
        s += ")";
    }
    return s;
}

Result<FileHeader> readFileHeader(std::span<const uint8_t> file) {
    if (file.size() < 8) return makeError("not a SWF movie: file shorter than the 8-byte header", -1, 0);
    FileHeader h;
    if (file[1] != 'W' || file[2] != 'S') return makeError("not a SWF movie: unknown signature", -1, 0);
    switch (file[0]) {
        case 'F':
            h.signature = Signature::Uncompressed;
            break;
        case 'C':
            h.signature = Signature::Zlib;
            break;
        case 'Z':
            h.signature = Signature::Lzma;
            break;
        default:
            return makeError("not a SWF movie: unknown signature", -1, 0);
    }
    h.version = file[3];
    h.declaredLength = readU32(&file[4]);
    if (h.declaredLength < 8)
        return makeError(
            "header length field " + std::to_string(h.declaredLength) + " is smaller than the 8-byte header",
            -1, 4);
    if (h.signature == Signature::Lzma) {
        if (file.size() < 17) return makeError("LZMA movie header cut short", -1, 8);
        h.lzmaCompressedLength = readU32(&file[8]);
        std::memcpy(h.lzmaProperties, &file[12], 5);
    }
    return h;
}

struct BodyReader::Impl {
    FileHeader header;
    std::span<const uint8_t> in;  // compressed (or plain) body bytes
    size_t inPos = 0;             // plain bodies: next byte to copy
    uint64_t cap = 0;             // body bytes we will deliver at most
    bool capIsLimit = false;      // the cap comes from the caller's limit, not the declared length
    uint64_t produced = 0;
    bool ended = false;
    bool early = false;
    bool failed = false;
    std::string error;

    bool zInit = false;
    z_stream z{};
    bool lzInit = false;
    lzma_stream lz = LZMA_STREAM_INIT;

    ~Impl() {
        if (zInit) inflateEnd(&z);
        if (lzInit) lzma_end(&lz);
    }

    void fail(std::string message) {
        failed = true;
        ended = true;
        error = std::move(message);
    }

    // Called when the source has nothing more: decide whether that was early.
    void finish() {
        ended = true;
        if (produced < header.declaredBodyLength()) early = true;
    }

    // Called when the cap is reached.
    void capReached() {
        ended = true;
        if (capIsLimit) {
            fail("movie is larger than the " + std::to_string((cap + 8) >> 20) + " MiB limit");
        } else if (zInit) {
            // The body is complete; let zlib check the stream's Adler-32 so damage inside it is reported.
            uint8_t scratch[64];
            z.next_out = scratch;
            z.avail_out = sizeof scratch;
            int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_DATA_ERROR)
                fail(std::string("corrupt zlib data: ") + (z.msg ? z.msg : "inflate error"));
        }
    }

    size_t readPlain(uint8_t* out, size_t n) {
        size_t avail = in.size() - inPos;
        size_t k = std::min<uint64_t>({n, avail, cap - produced});
        std::memcpy(out, in.data() + inPos, k);
        inPos += k;
        produced += k;
        if (produced == cap) {
            capReached();
        } else if (inPos == in.size()) {
            finish();
        }
        return k;
    }

    size_t readZlib(uint8_t* out, size_t n) {
        size_t want = std::min<uint64_t>(n, cap - produced);
        z.next_out = out;
        z.avail_out = static_cast<uInt>(want);
        while (z.avail_out > 0) {
            int r = inflate(&z, Z_NO_FLUSH);
            size_t got = want - z.avail_out;
            if (r == Z_STREAM_END) {
                produced += got;
                finish();
                return got;
            }
            if ((r == Z_OK || r == Z_BUF_ERROR) && z.avail_out > 0 && z.avail_in == 0) {
                // The compressed data stops before its end.
                produced += got;
                finish();
                return got;
            }
            if (r != Z_OK) {
                produced += got;
                fail(std::string("corrupt zlib data: ") + (z.msg ? z.msg : "inflate error"));
                return got;
            }
        }
        produced += want;
        if (produced == cap) capReached();
        return want;
    }

    size_t readLzma(uint8_t* out, size_t n) {
        size_t want = std::min<uint64_t>(n, cap - produced);
        lz.next_out = out;
        lz.avail_out = want;
        while (lz.avail_out > 0) {
            lzma_ret r = lzma_code(&lz, LZMA_RUN);
            size_t got = want - lz.avail_out;
            if (r == LZMA_STREAM_END) {
                produced += got;
                finish();
                return got;
            }
            if ((r == LZMA_OK || r == LZMA_BUF_ERROR) && lz.avail_out > 0 && lz.avail_in == 0) {
                produced += got;
                finish();
                return got;
            }
            if (r != LZMA_OK) {
                produced += got;
                if (r == LZMA_DATA_ERROR && lz.avail_in <= 8) {
                    // An end marker before the declared size: the header claims more than the stream holds.
                    finish();
                    return got;
                }
                fail(r == LZMA_MEMLIMIT_ERROR || r == LZMA_MEM_ERROR ? "LZMA dictionary too large"
                     : r == LZMA_OPTIONS_ERROR                       ? "unsupported LZMA properties"
                                                                     : "corrupt LZMA data");
                return got;
            }
        }
        produced += want;
        if (produced == cap) capReached();
        return want;
    }
};

BodyReader::BodyReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
BodyReader::BodyReader(BodyReader&&) noexcept = default;
BodyReader& BodyReader::operator=(BodyReader&&) noexcept = default;
BodyReader::~BodyReader() = default;

Result<BodyReader> BodyReader::open(std::span<const uint8_t> file, size_t limit) {
    auto h = readFileHeader(file);
    if (!h) return h.error();
    auto impl = std::make_unique<Impl>();
    Impl& s = *impl;
    s.header = *h;
    s.in = file.subspan(s.header.bodyOffset());
    uint64_t limitBody = limit > 8 ? limit - 8 : 0;
    s.cap = std::min<uint64_t>(s.header.declaredBodyLength(), limitBody);
    s.capIsLimit = s.header.declaredBodyLength() > limitBody;

    if (s.header.signature == Signature::Zlib) {
        s.z.next_in = const_cast<uint8_t*>(s.in.data());
        s.z.avail_in = static_cast<uInt>(std::min<size_t>(s.in.size(), UINT32_MAX));
        if (inflateInit(&s.z) != Z_OK) return makeError("zlib initialisation failed");
        s.zInit = true;
    } else if (s.header.signature == Signature::Lzma) {
        // Rebuild the ".lzma" header liblzma expects: the 5 property bytes and the uncompressed size, which
        // lets the decoder stop without an end marker (SWF writers often leave it out). A dictionary larger
        // than the body is never needed, so it is clamped to keep hostile property bytes from allocating.
        uint8_t alone[13];
        std::memcpy(alone, s.header.lzmaProperties, 5);
        uint32_t dict = readU32(&s.header.lzmaProperties[1]);
        uint32_t maxDict =
            static_cast<uint32_t>(std::max<uint64_t>(4096, std::min<uint64_t>(s.cap, UINT32_MAX)));
        dict = std::clamp(dict, uint32_t(4096), maxDict);
        for (int i = 0; i < 4; ++i)
            alone[1 + i] = static_cast<uint8_t>(dict >> (8 * i));
        uint64_t size = s.header.declaredBodyLength();
        for (int i = 0; i < 8; ++i)
            alone[5 + i] = static_cast<uint8_t>(size >> (8 * i));
        if (lzma_alone_decoder(&s.lz, uint64_t(dict) + (uint64_t(64) << 20)) != LZMA_OK)
            return makeError("LZMA initialisation failed");
        s.lzInit = true;
        s.lz.next_in = alone;
        s.lz.avail_in = sizeof alone;
        // liblzma reads nothing without room for output; with only the header as input it cannot produce any.
        uint8_t dummy = 0;
        s.lz.next_out = &dummy;
        s.lz.avail_out = 1;
        lzma_ret r = LZMA_OK;
        while (s.lz.avail_in > 0 && r == LZMA_OK)
            r = lzma_code(&s.lz, LZMA_RUN);
        if (r != LZMA_OK && r != LZMA_STREAM_END) return makeError("unsupported LZMA properties", -1, 12);
        s.lz.next_in = s.in.data();
        s.lz.avail_in = s.in.size();
    }
    if (s.cap == 0) s.capReached();
    return BodyReader(std::move(impl));
}

const FileHeader& BodyReader::header() const {
    return impl_->header;
}

size_t BodyReader::read(uint8_t* out, size_t n) {
    Impl& s = *impl_;
    if (s.ended || n == 0) return 0;
    switch (s.header.signature) {
        case Signature::Uncompressed:
            return s.readPlain(out, n);
        case Signature::Zlib:
            return s.readZlib(out, n);
        case Signature::Lzma:
            return s.readLzma(out, n);
    }
    return 0;
}

std::vector<uint8_t> BodyReader::read(size_t n) {
    std::vector<uint8_t> out;
    size_t chunk = std::min<size_t>(n, size_t(1) << 16);
    while (out.size() < n && !atEnd()) {
        size_t old = out.size();
        size_t step = std::min(chunk, n - old);
        out.resize(old + step);
        size_t got = read(out.data() + old, step);
        out.resize(old + got);
        chunk = std::min<size_t>(chunk * 2, size_t(1) << 24);
    }
    return out;
}

bool BodyReader::atEnd() const {
    return impl_->ended;
}
bool BodyReader::endedEarly() const {
    return impl_->early;
}
bool BodyReader::failed() const {
    return impl_->failed;
}
const std::string& BodyReader::errorMessage() const {
    return impl_->error;
}
uint64_t BodyReader::bytesRead() const {
    return impl_->produced;
}

Result<std::vector<uint8_t>> decompressMovie(std::span<const uint8_t> file, size_t limit,
                                             DecompressInfo* info) {
    auto reader = BodyReader::open(file, limit);
    if (!reader) return reader.error();
    const FileHeader& h = reader->header();
    std::vector<uint8_t> out(file.begin(), file.begin() + 8);
    out[0] = 'F';
    std::vector<uint8_t> body = reader->read(SIZE_MAX);
    if (reader->failed()) {
        bool limitHit = reader->errorMessage().rfind("movie is larger", 0) == 0;
        if (limitHit || body.empty())
            return makeError(reader->errorMessage(), -1, static_cast<int64_t>(8 + body.size()));
    }
    out.insert(out.end(), body.begin(), body.end());
    if (info) {
        info->header = h;
        info->endedEarly = reader->endedEarly();
        info->warning = reader->failed() ? reader->errorMessage() : std::string();
    }
    return out;
}

}  // namespace swf
