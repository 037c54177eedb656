// The flash.filters objects as the display side sees them: a filter object's settings as the record the
// renderer applies, and a record as a new filter object.
#pragma once

#include <optional>

#include "player/avm1/value.h"
#include "swf/filters.h"

namespace player::avm1 {

class Vm;

// The record a filter object stands for; none for BitmapFilter itself and filters the renderer does not
// apply (displacement map).
std::optional<swf::FilterParams> filterParams(const Value& v);
// A new filter object of the record's class with its settings.
Value filterValue(Vm& vm, const swf::FilterParams& p);

}  // namespace player::avm1
