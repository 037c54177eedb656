// Codec enumeration of the media library, on the encoders the installed FFmpeg really has.
//
// Owns: the list of the last MclCodecsInit per file format, and a cache of probe results per size.
// Thread: called from the user-interface thread; the calls are serialised internally, so another thread may
// call them too, but the "last list" is then shared.
// Never: list a codec the writer could not open. A candidate of the catalog (mcl_codec_catalog.h) is listed
// only when the installed FFmpeg has its encoder and the format's muxer, the muxer accepts the codec with its
// FourCC (avformat_query_codec, the AVI codec tag table), and the encoder really opens at the requested size
// with its pixel format and default settings (avcodec_open2), exactly as the writer opens it
// (mcl/ffmpeg/video_encoder.h). Messages of the refused trial opens are kept off the log
// (mcl/ffmpeg/ff_log.h).
//
// The list is deterministic: the catalog's order, filtered; "Full Frames, Uncompressed" is index 1 for AVI,
// and it fits every size the library accepts. MPEG lists "MPEG-1 format" and "MPEG-2 format".
#pragma once

#include "mcl/mcl_codec_info.h"

// Results of MclCodecsInit (negative) and MclCodecsGetInfo (non-zero).
constexpr int kMclCodecsUnknownFormat = -1;  // fileFmtID is neither 6 (AVI) nor 11 (MPEG)
constexpr int kMclCodecsBadIndex = -2;  // index outside 1..count of the last MclCodecsInit of that format
constexpr int kMclCodecsNoBlock = -3;   // info is null

// The largest frame side the library takes. A 24-bit frame of 8192 x 8192 already holds 200 MB, and the probe
// of MclCodecsInit opens Xvid there in about two seconds (once per size; results are cached).
constexpr int kMclMaxFrameSide = 8192;

// Builds the list of codecs that can write fileFmtID (6 = AVI, 11 = MPEG) at width x height with the given
// bits per pixel, and returns how many there are (0 when none fit, negative for an unknown format).
// bits is the depth of the frames the writer will feed: 1, 4, 8, 15, 16 or 24 (no alpha), or 32 (with alpha:
// codecs that can keep alpha are probed with their alpha layout). A side that is not positive or larger than
// kMclMaxFrameSide, or any other depth, fits no codec. An unknown format leaves every list as it was;
// otherwise the format's list is replaced.
int MclCodecsInit(int fileFmtID, int width, int height, int bits);

// Writes the description of codec `index` (1-based, as listed by the last MclCodecsInit of that format) into
// *info. Returns 0 on success, non-zero when the index or format is not valid (the block is left unchanged).
int MclCodecsGetInfo(int fileFmtID, TMclCodecInfo* info, int index);
