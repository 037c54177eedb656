// Codec enumeration of the media library, on the encoders the installed FFmpeg really has.
// Called from the user-interface thread; keeps the list of the last MclCodecsInit per file format.
#pragma once

#include "mcl/mcl_codec_info.h"

// Builds the list of codecs that can write fileFmtID (6 = AVI, 11 = MPEG) at width x height with the given
// bits per pixel, and returns how many there are (0 when none fit, negative for an unknown format).
int MclCodecsInit(int fileFmtID, int width, int height, int bits);

// Writes the description of codec `index` (1-based, as listed by the last MclCodecsInit of that format) into
// *info. Returns 0 on success, non-zero when the index or format is not valid (the block is left unchanged).
int MclCodecsGetInfo(int fileFmtID, TMclCodecInfo* info, int index);
