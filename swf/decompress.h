// Movie body decompression: recognises "FWS" (plain), "CWS" (zlib) and "ZWS" (LZMA) movies, exposes the
// 8-byte file header and streams the uncompressed body a few bytes at a time.
// Called from any one thread per reader (no shared state); never allocates the length a movie claims,
// only what it really produces, and never produces more than the caller's limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "swf/result.h"

namespace swf {

// Largest uncompressed movie (8-byte header included) decompressMovie() and parseMovie() accept by default.
inline constexpr size_t kMaxMovieBytes = size_t(256) << 20;  // 256 MiB

enum class Signature : uint8_t {
    Uncompressed,  // "FWS"
    Zlib,          // "CWS", SWF 6 and later
    Lzma,          // "ZWS", SWF 13 and later
};

// The 8 bytes every movie starts with (and, for "ZWS", the 9 that follow them).
struct FileHeader {
    Signature signature = Signature::Uncompressed;
    uint8_t version = 0;
    uint32_t declaredLength = 0;  // uncompressed length the file claims, 8-byte header included
    // "ZWS" only: the compressed length field and the 5 LZMA property bytes (lc/lp/pb, dictionary size).
    uint32_t lzmaCompressedLength = 0;
    uint8_t lzmaProperties[5] = {};

    // Where the (possibly compressed) body starts in the file: 8, or 17 for "ZWS".
    size_t bodyOffset() const { return signature == Signature::Lzma ? 17 : 8; }
    // Body length the header claims (declaredLength - 8).
    uint32_t declaredBodyLength() const { return declaredLength - 8; }
};

// Reads and checks the file header. Fails on an unknown signature, on fewer bytes than the header needs,
// or on a length field smaller than the header itself.
Result<FileHeader> readFileHeader(std::span<const uint8_t> file);

// Streams the uncompressed body (the bytes after the 8-byte header: frame rectangle, rate, count, tags).
// The reader stops at the header's declared length, at the caller's limit, at the end of the compressed
// data or at the first corrupt byte, whichever comes first; every byte decoded before that point is
// still delivered. The file bytes must outlive the reader.
class BodyReader {
  public:
    // limit bounds the whole uncompressed movie, header included (kMaxMovieBytes by default).
    static Result<BodyReader> open(std::span<const uint8_t> file, size_t limit = kMaxMovieBytes);

    BodyReader(BodyReader&&) noexcept;
    BodyReader& operator=(BodyReader&&) noexcept;
    ~BodyReader();

    const FileHeader& header() const;

    // Copies up to n body bytes into out and returns how many it copied. Fewer than n only when the
    // body ended (see atEnd / endedEarly / failed).
    size_t read(uint8_t* out, size_t n);
    // Convenience: up to n bytes as a vector.
    std::vector<uint8_t> read(size_t n);

    // No more bytes will come.
    bool atEnd() const;
    // The body ended before the declared length: the file is cut short (or its length field lies).
    bool endedEarly() const;
    // The compressed data was corrupt, or the movie grew past the limit; see errorMessage().
    bool failed() const;
    const std::string& errorMessage() const;
    // Body bytes delivered so far.
    uint64_t bytesRead() const;

  private:
    struct Impl;
    explicit BodyReader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// What decompressMovie() found besides the bytes.
struct DecompressInfo {
    FileHeader header;
    // Fewer bytes than the header declares: the movie is cut short (its tags are parsed as far as they go).
    bool endedEarly = false;
    // Corrupt compressed data after some good bytes: the bytes before it are returned and this says why
    // the rest is missing.
    std::string warning;
};

// The whole uncompressed movie: an "FWS" header (signature rewritten, version and declared length kept)
// followed by the body. Fails on a bad header, on corrupt data before any body byte could be decoded, and
// when the movie would grow past limit bytes.
Result<std::vector<uint8_t>> decompressMovie(std::span<const uint8_t> file, size_t limit = kMaxMovieBytes,
                                             DecompressInfo* info = nullptr);

}  // namespace swf
