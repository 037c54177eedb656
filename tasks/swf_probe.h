// Classification of movie sources, the movie-header probe and the extraction of a projector's movie.
// Sources are Flash movies (.swf: "FWS", zlib "CWS", LZMA "ZWS") and projectors (.exe whose last 8 bytes are
// the marker 0xFA123456 and the embedded movie's length N; the movie is the N bytes before that trailer).
// Called on the user-interface thread (and by the command line); keeps no state. Reads sources only; the one
// file it writes is the extracted movie, under a fresh temporary name (tasks/temp_files.h).
//
// Errors: a missing or unreadable file, a file shorter than the bytes to be read, and a projector trailer
// whose N points before the start of the file throw SwfFileError (tasks/source_file.h), whose message names
// the file and the reason; the window layer shows that text. Nothing is ever read outside the file. A damaged
// movie inside an accepted source never throws from ProbeSwfFile: that is its failure result.
#pragma once

#include <cstdint>
#include <string>

#include "tasks/cov_settings.h"
#include "tasks/source_file.h"

// The probe's result. Callers start from a zeroed record: on failure the fields the probe never
// reached keep the values they had.
struct TSwfInfo {
    TSwfFileType fileType = sftInvalid;
    int32_t version = 0;      // header byte 3
    int32_t fileSize = 0;     // header length field (uncompressed length, header included)
    int32_t width = 0;        // Xmax div 20
    int32_t height = 0;       // Ymax div 20
    int32_t frameRate = 0;    // integer byte of the 8.8 frame rate
    int32_t totalFrames = 0;  // unsigned 16-bit frame count
};

// What the probe saw beyond TSwfInfo, for reports and diagnostics.
struct TSwfProbeDetail {
    std::string compression;        // "none", "zlib" ("CWS"), "lzma" ("ZWS"); "" for an invalid source
    uint8_t frameRateFraction = 0;  // fraction byte of the 8.8 frame rate
    int headerBytes = 0;            // 8 + frame rectangle + rate + count, once read
    std::string error;              // why the header was not read completely, when the probe failed
};

// The projector trailer's marker.
constexpr uint32_t kProjectorMarker = 0xFA123456u;

// GetSwfFileType: ".swf" (any case) by its signature; ".exe" (any case) by the trailer and the
// embedded movie's signature; every other extension is sftInvalid whatever the file holds.
// Throws SwfFileError when the file cannot be opened or is too short for the bytes the rule reads, and when a
// projector trailer points before the start of the file.
TSwfFileType GetSwfFileType(const std::string& name);

// ProbeSwfFile. Returns the failure indicator: true when the header was not read completely (also
// for sftInvalid, where only info.fileType is written). A compressed body is inflated as a stream and must
// deliver every byte the header's length claims (fileSize - 8), though only its first bytes are kept; memory
// stays small whatever the header claims. Classification errors throw as in GetSwfFileType. A short movie
// succeeds when it holds the whole header (rectangle, rate, count), even if it is shorter than the 21-byte
// area of the classic probe.
bool ProbeSwfFile(const std::string& name, TSwfInfo& info);
bool ProbeSwfFile(const std::string& name, TSwfInfo& info, TSwfProbeDetail* detail);

// ExtractSwfFromExe: copies a projector's embedded movie ("FWS", "CWS" or "ZWS") to a new file
// GetTempFile() with extension ".swf" and returns its full path; returns "" (writing nothing) when the
// extension is not ".exe" (any case), the marker is missing or the embedded movie has no movie signature.
// Every call makes a new file. Throws SwfFileError as GetSwfFileType does, and when the copy cannot be
// written (the partial copy is then removed).
std::string ExtractSwfFromExe(const std::string& name);
