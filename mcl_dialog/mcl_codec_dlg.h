// The media library's codec chooser as a plain call: lists the codecs that can write `stream` (6 AVI, 11
// MPEG) at width x height with `bits` per pixel, preselects the codec block the conversion handle holds, and
// lets the user pick a codec and edit its quality, bit rate and key-frame distance.
//
// Owns: nothing beyond the dialog of one call. Thread: the user-interface thread (it runs a modal dialog,
// centred over the active window). Never: change the handle's block unless the user confirms.
#pragma once

#include <cstdint>

#include "mcl/mcl.h"

// Returns non-zero (-1) when the user confirmed; the chosen block is then in the handle
// (MclCodecsGetInfoFromData). Cancel, a null handle or an empty codec list return 0 and change nothing.
int32_t MclCodecDlg(MclHandle handle, int32_t stream, int32_t width, int32_t height, int32_t bits);
