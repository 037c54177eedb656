// Frame sizes of a task, grabbing the player's picture into bitmaps, and the alpha rules.
//
// Owns: nothing beyond the square-root table (filled once per process). Thread: the user-interface thread.
// Never: allocate a bitmap or image per frame (the output paths own them for the whole task); throw out of
// GrabFrame (a failed grab returns false and leaves what was drawn so far).
#pragma once

#include <cstdint>

#include "mcl/mcl.h"
#include "mcl/mcl_dib.h"

class TShockwaveFlash;
class QWidget;
struct TCovSettings;

struct TFrameSizes {
    int frameW = 0;
    int frameH = 0;
    int panelW = 0;
    int panelH = 0;
};

// The largest size of srcW x srcH's aspect ratio inside boxW x boxH (rounded half away from zero).
void FitSize(int srcW, int srcH, int boxW, int boxH, int* w, int* h);
// Output frame size and player (panel) size of a task.
TFrameSizes ComputeFrameSizes(const TCovSettings& task);

// 0..255 from a pixel's bytes blue, green, red.
uint8_t PixelIntensity(const uint8_t* pixel);

// `count` (1 or more) little-endian ARGB pixels copied to three bytes each (blue, green, red); says whether
// every one was opaque (else the caller blends that row over its background).
bool PackPixelsBgr(const uint32_t* src, uint8_t* dst, int count);
// trunc(sqrt(i / 255) * 255) for i in 0..255, filled on first use.
const uint8_t* SqrtTable();
void IntensityToAlpha(TDib& alpha, const TDib& frame, bool useSquareRoot);
// colour: 0x00RRGGBB; pixels of exactly that colour get alpha 0, all others 255.
void ColorToAlpha(TDib& alpha, const TDib& frame, uint32_t colour);

// Where a grab takes its picture from: the conversion window's player (whose picture is rendered once per
// shown frame and reused when the sizes match) inside its panel. bgColor is the window's background
// colour 0x00RRGGBB, the key of the background-colour alpha rule.
struct TGrabSource {
    TShockwaveFlash* player = nullptr;
    QWidget* panel = nullptr;
    uint32_t bgColor = 0;
};

// frameNumber -1: the frame the player shows now; 0 or more: GotoFrame(frameNumber) then StopPlay first.
// x, y: top-left of the crop in the full bitmap. alphaMode as TAlphaMode (1 intensity, 2 square root,
// 3 background colour); alpha and full may be null.
bool GrabFrame(const TGrabSource& source, TDib* frame, TDib* alpha, TDib* full, int alphaMode,
               int frameNumber, int x, int y);

// The task's bitmaps and library images, owned by the output path for one task.
struct TCaptureBitmaps {
    TDib* frame = nullptr;
    TDib* alpha = nullptr;  // null when no alpha is wanted
    TDib* full = nullptr;   // null without crop
    MclImageHandle frameImage = nullptr;
    MclImageHandle alphaImage = nullptr;  // null when no alpha is wanted
};

// Grabs one frame and turns it into the frame image (with its alpha channel when wanted).
void CaptureFrame(const TGrabSource& source, const TCovSettings& task, const TCaptureBitmaps& bitmaps,
                  int frameNumber);
