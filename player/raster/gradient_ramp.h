// The 256-entry colour table of a gradient (one entry per SWF ratio), built once per draw with the colour
// transform already applied to the stops, as Flash Player does. The paint stage interpolates between
// neighbouring entries, so wide gradients stay smooth.
#pragma once

#include <array>

#include "player/raster/paint.h"

namespace raster {

using GradientRamp = std::array<player::Pixel, 256>;

// Premultiplied colours for ratios 0..255, channels interpolated between stops and rounded down. Before the
// first stop the first stop's colour holds, after the last the last's; stops are used in the order given,
// each on a ratio of its own (a ratio equal to or below the one before moves just past it). No stops
// gives a transparent ramp.
void buildGradientRamp(const Gradient& g, const player::ColorTransform& ct, GradientRamp& out);

}  // namespace raster
