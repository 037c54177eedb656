#include "tasks/swf_probe.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "swf/decompress.h"
#include "tasks/file_names.h"
#include "tasks/temp_files.h"
#include "tasks/ui_hooks.h"

namespace {

enum class TSignature { None, Fws, Cws, Zws };

TSignature ReadSignature(TSourceFile& file, uint64_t offset) {
    char sig[3];
    file.readAt(offset, sig, 3);
    if (std::memcmp(sig, "FWS", 3) == 0) return TSignature::Fws;
    if (std::memcmp(sig, "CWS", 3) == 0) return TSignature::Cws;
    // "ZWS" (LZMA, Flash Player 11 on) is the third movie signature, as common as the other two in newer
    // movies.
    if (std::memcmp(sig, "ZWS", 3) == 0) return TSignature::Zws;
    return TSignature::None;
}

// Where the movie lies inside an accepted source, and what it is.
struct TMovieLocation {
    TSwfFileType type = sftInvalid;
    TSignature signature = TSignature::None;
    uint64_t start = 0;
    uint64_t length = 0;
};

// Reads the projector trailer. Returns false when the marker is missing; throws when the file is shorter than
// the trailer or N points before the start of the file.
bool ReadProjectorTrailer(TSourceFile& file, uint64_t& start, uint64_t& length) {
    if (file.size() < 8)
        file.fail("too short for a projector trailer (" + std::to_string(file.size()) + " bytes)");
    if (file.u32At(file.size() - 8) != kProjectorMarker) return false;
    uint64_t n = file.u32At(file.size() - 4);
    if (n + 8 > file.size())
        file.fail("read error: the projector trailer gives a movie of " + std::to_string(n) +
                  " bytes, which would start before the beginning of the file (" +
                  std::to_string(file.size()) + " bytes)");
    start = file.size() - 8 - n;
    length = n;
    return true;
}

TMovieLocation Locate(TSourceFile& file) {
    TMovieLocation where;
    const std::string ext = AsciiLower(ExtractFileExt(file.path()));
    if (ext == ".swf") {
        where.signature = ReadSignature(file, 0);
        where.start = 0;
        where.length = file.size();
        if (where.signature == TSignature::Fws) where.type = sftSwf;
        if (where.signature == TSignature::Cws || where.signature == TSignature::Zws)
            where.type = sftSwfCompressed;
    } else if (ext == ".exe") {
        if (!ReadProjectorTrailer(file, where.start, where.length)) return where;
        where.signature = ReadSignature(file, where.start);
        if (where.signature == TSignature::Fws) where.type = sftProjector;
        if (where.signature == TSignature::Cws || where.signature == TSignature::Zws)
            where.type = sftProjectorCompressed;
    }
    if (where.type == sftInvalid) where.signature = TSignature::None;
    return where;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Nbits-bit unsigned number at bit `pos` of the area, most significant bit first (SWF RECT).
uint32_t Bits(const std::vector<uint8_t>& area, int pos, int nbits) {
    uint32_t v = 0;
    for (int i = pos; i < pos + nbits; ++i)
        v = (v << 1) | ((area[i / 8] >> (7 - i % 8)) & 1u);
    return v;
}

// The largest rectangle (Nbits 31) takes 17 bytes; with rate and count the area is 21 bytes.
constexpr size_t kAreaBytes = 21;

// Reads version, length, frame rectangle, rate and count of the located movie, each field as soon as it is
// there. Returns the failure reason, or "" when the header was read completely.
std::string ReadHeader(TSourceFile& file, const TMovieLocation& movie, TSwfInfo& info,
                       TSwfProbeDetail& detail) {
    uint8_t head[8];
    if (movie.length < 4) return "the movie ends before its version byte";
    file.readAt(movie.start, head, 4);
    info.version = head[3];
    if (movie.length < 8) return "the movie ends before its length field";
    file.readAt(movie.start, head, 8);
    const uint32_t fileSize = Le32(head + 4);
    info.fileSize = static_cast<int32_t>(fileSize);

    std::vector<uint8_t> area;
    if (movie.signature == TSignature::Fws) {
        area.resize(static_cast<size_t>(std::min<uint64_t>(kAreaBytes, movie.length - 8)));
        file.readAt(movie.start + 8, area.data(), area.size());
    } else {
        // The compressed movie is copied into memory; its body is then inflated as a stream through a small
        // buffer, so the length the header claims is never allocated, yet the stream must really deliver all
        // of it.
        std::vector<uint8_t> bytes(static_cast<size_t>(movie.length));
        file.readAt(movie.start, bytes.data(), bytes.size());
        if (fileSize < 8) return "the movie header gives a length of " + std::to_string(fileSize) + " bytes";
        auto reader = swf::BodyReader::open(bytes, fileSize);
        if (!reader) return reader.error().describe();
        area.resize(static_cast<size_t>(std::min<uint64_t>(kAreaBytes, fileSize - 8u)));
        size_t got = 0;
        while (got < area.size() && !reader->atEnd())
            got += reader->read(area.data() + got, area.size() - got);
        std::vector<uint8_t> scratch(64 * 1024);
        while (!reader->atEnd())
            reader->read(scratch.data(), scratch.size());
        if (reader->failed()) return reader->errorMessage();
        if (reader->bytesRead() < fileSize - 8u)
            return "the compressed body ends after " + std::to_string(reader->bytesRead()) +
                   " bytes, before the " + std::to_string(fileSize - 8u) + " bytes the movie header gives";
    }

    if (area.empty()) return "the movie ends before its frame rectangle";
    const int nbits = area[0] >> 3;
    const size_t rectBytes = (5 + 4 * static_cast<size_t>(nbits) + 7) / 8;
    if (area.size() < rectBytes) return "the movie ends inside its frame rectangle";
    info.width = static_cast<int32_t>(Bits(area, 5 + nbits, nbits) / 20);
    info.height = static_cast<int32_t>(Bits(area, 5 + 3 * nbits, nbits) / 20);
    if (area.size() < rectBytes + 2) return "the movie ends before its frame rate";
    detail.frameRateFraction = area[rectBytes];
    info.frameRate = area[rectBytes + 1];
    if (area.size() < rectBytes + 4) return "the movie ends before its frame count";
    info.totalFrames = area[rectBytes + 2] + 256 * area[rectBytes + 3];
    detail.headerBytes = static_cast<int>(8 + rectBytes + 4);
    return {};
}

}  // namespace

TSwfFileType GetSwfFileType(const std::string& name) {
    TSourceFile file(name);
    return Locate(file).type;
}

bool ProbeSwfFile(const std::string& name, TSwfInfo& info) {
    return ProbeSwfFile(name, info, nullptr);
}

bool ProbeSwfFile(const std::string& name, TSwfInfo& info, TSwfProbeDetail* detail) {
    TSwfProbeDetail local;
    TSwfProbeDetail& d = detail ? *detail : local;
    TSourceFile file(name);
    const TMovieLocation movie = Locate(file);
    info.fileType = movie.type;
    d.compression = movie.signature == TSignature::Fws   ? "none"
                    : movie.signature == TSignature::Cws ? "zlib"
                    : movie.signature == TSignature::Zws ? "lzma"
                                                         : "";
    if (movie.type == sftInvalid) {
        d.error = "not a Flash movie or projector";
        return true;
    }
    d.error = ReadHeader(file, movie, info, d);
    return !d.error.empty();
}

std::string ExtractSwfFromExe(const std::string& name) {
    if (AsciiLower(ExtractFileExt(name)) != ".exe") return {};
    TSourceFile file(name);
    uint64_t start = 0, length = 0;
    if (!ReadProjectorTrailer(file, start, length)) return {};
    if (ReadSignature(file, start) == TSignature::None) return {};

    TBusyCursor busy;
    // The fresh ".tmp" name is free, but the same name with ".swf" may be taken: create it exclusively and
    // take another name if it is.
    std::string target;
    std::FILE* out = nullptr;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
        target = ChangeFileExt(GetTempFile(), ".swf");
        out = std::fopen(target.c_str(), "wbx");
        if (!out && errno != EEXIST)
            throw SwfFileError(target, std::string("cannot create: ") + std::strerror(errno));
    }
    if (!out) throw SwfFileError(target, "cannot find a free temporary name");

    try {
        std::vector<uint8_t> buf(256 * 1024);
        uint64_t done = 0;
        while (done < length) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), length - done));
            file.readAt(start + done, buf.data(), n);
            if (std::fwrite(buf.data(), 1, n, out) != n)
                throw SwfFileError(target, std::string("cannot write: ") + std::strerror(errno));
            done += n;
        }
        if (std::fflush(out) != 0)
            throw SwfFileError(target, std::string("cannot write: ") + std::strerror(errno));
    } catch (...) {
        std::fclose(out);
        std::remove(target.c_str());
        throw;
    }
    if (std::fclose(out) != 0) {
        int err = errno;
        std::remove(target.c_str());
        throw SwfFileError(target, std::string("cannot write: ") + std::strerror(err));
    }
    return target;
}
