// What `tolvikan probe FILE` prints: the classification and movie header of one source, read with the same
// rules as the task defaults (tasks/swf_probe.h). Any thread; reads the file, writes nothing.
#pragma once

#include <string>

#include "tasks/swf_probe.h"

struct TProbeReport {
    std::string file;
    std::string kind;         // "swf", "swf-compressed", "projector", "projector-compressed" or "invalid"
    std::string compression;  // "none", "zlib", "lzma", or "" for an invalid source
    bool complete = false;    // the whole header was read (ProbeSwfFile reported no failure)
    std::string error;        // why not: a file error, or how the header is damaged
    int version = 0;
    long long headerLength = 0;  // the header's length field (uncompressed length for compressed movies)
    int width = 0;
    int height = 0;
    double frameRate = 0.0;  // 8.8 fixed point as a number (12.5 for 12.5 fps)
    int frameRateInt = 0;    // integer part only, as tasks use it
    int frameCount = 0;
    int headerBytes = 0;  // bytes of the (uncompressed) header: 8 + rectangle + rate + count
};

// Name of a TSwfFileType as the report gives it.
const char* SwfFileTypeName(TSwfFileType type);

// Probes `file`. Never throws: a file that cannot be opened or read gives kind "invalid" with `error` set.
TProbeReport MakeProbeReport(const std::string& file);

// The report as "key: value" lines (file, kind, compression, version, length, width, height, frame-rate,
// frame-rate-int, frames, header-bytes, complete, and error when there is one), each ending with '\n'.
std::string FormatProbeReport(const TProbeReport& report);
