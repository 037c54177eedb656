#include "tasks/probe_report.h"

#include <QString>

#include <exception>

const char* SwfFileTypeName(TSwfFileType type) {
    switch (type) {
        case sftSwf:
            return "swf";
        case sftSwfCompressed:
            return "swf-compressed";
        case sftProjector:
            return "projector";
        case sftProjectorCompressed:
            return "projector-compressed";
        default:
            return "invalid";
    }
}

TProbeReport MakeProbeReport(const std::string& file) {
    TProbeReport report;
    report.file = file;
    report.kind = SwfFileTypeName(sftInvalid);
    try {
        TSwfInfo info;
        TSwfProbeDetail detail;
        bool failed = ProbeSwfFile(file, info, &detail);
        report.kind = SwfFileTypeName(info.fileType);
        report.compression = detail.compression;
        report.complete = !failed;
        report.error = detail.error;
        report.version = info.version;
        report.headerLength = static_cast<uint32_t>(info.fileSize);
        report.width = info.width;
        report.height = info.height;
        report.frameRateInt = info.frameRate;
        report.frameRate = info.frameRate + detail.frameRateFraction / 256.0;
        report.frameCount = info.totalFrames;
        report.headerBytes = detail.headerBytes;
    } catch (const std::exception& e) {
        report.complete = false;
        report.error = e.what();
    }
    return report;
}

std::string FormatProbeReport(const TProbeReport& r) {
    std::string out;
    auto line = [&out](const char* key, const std::string& value) {
        out += std::string(key) + ": " + value + "\n";
    };
    line("file", r.file);
    line("kind", r.kind);
    line("compression", r.compression);
    line("version", std::to_string(r.version));
    line("length", std::to_string(r.headerLength));
    line("width", std::to_string(r.width));
    line("height", std::to_string(r.height));
    // Shortest text that reads back exactly, independent of the C locale: 8.8 values have at most 8 decimals.
    line("frame-rate", QString::number(r.frameRate, 'g', 10).toStdString());
    line("frame-rate-int", std::to_string(r.frameRateInt));
    line("frames", std::to_string(r.frameCount));
    line("header-bytes", std::to_string(r.headerBytes));
    line("complete", r.complete ? "yes" : "no");
    if (!r.error.empty()) line("error", r.error);
    return out;
}
