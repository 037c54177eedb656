#include "swf/filters.h"

#include "swf/bit_reader.h"
#include "swf/read_types.h"

namespace swf {

Result<FilterParams> decodeFilter(const Filter& filter) {
    BitReader r(filter.data);
    FilterParams p;
    if (filter.type > 7) return makeError("unknown filter type " + std::to_string(filter.type));
    p.type = static_cast<FilterType>(filter.type);
    auto blur = [&] {
        p.blurX = r.fixed16();
        p.blurY = r.fixed16();
    };
    auto angleDistanceStrength = [&] {
        p.angle = r.fixed16();
        p.distance = r.fixed16();
        p.strength = r.fixed8();
    };
    // Flag bytes: inner, knockout, composite source, then (bevels) on-top, then the pass count.
    auto flags = [&](bool withOnTop) {
        p.inner = r.flag();
        p.knockout = r.flag();
        p.compositeSource = r.flag();
        if (withOnTop) {
            p.onTop = r.flag();
            p.passes = static_cast<int>(r.ub(4));
        } else {
            p.passes = static_cast<int>(r.ub(5));
        }
        r.align();
    };
    switch (p.type) {
        case FilterType::DropShadow:
            p.colors.push_back(detail::readRGBA(r));
            blur();
            angleDistanceStrength();
            flags(false);
            break;
        case FilterType::Blur:
            blur();
            p.passes = static_cast<int>(r.ub(5));
            r.align();
            break;
        case FilterType::Glow:
            p.colors.push_back(detail::readRGBA(r));
            blur();
            p.strength = r.fixed8();
            flags(false);
            break;
        case FilterType::Bevel:
            p.colors.push_back(detail::readRGBA(r));
            p.colors.push_back(detail::readRGBA(r));
            blur();
            angleDistanceStrength();
            flags(true);
            break;
        case FilterType::GradientGlow:
        case FilterType::GradientBevel: {
            uint8_t n = r.u8();
            for (int i = 0; i < n && r.ok(); ++i)
                p.colors.push_back(detail::readRGBA(r));
            for (int i = 0; i < n && r.ok(); ++i)
                p.ratios.push_back(r.u8());
            blur();
            angleDistanceStrength();
            flags(true);
            break;
        }
        case FilterType::Convolution: {
            p.matrixX = r.u8();
            p.matrixY = r.u8();
            p.divisor = r.f32();
            p.bias = r.f32();
            size_t n = size_t(p.matrixX) * p.matrixY;
            if (r.ok() && n * 4 > r.remaining())
                return makeError("convolution matrix larger than the filter");
            for (size_t i = 0; i < n && r.ok(); ++i)
                p.matrix.push_back(r.f32());
            p.defaultColor = detail::readRGBA(r);
            uint8_t f = r.u8();
            p.clamp = f & 2;
            p.preserveAlpha = f & 1;
            break;
        }
        case FilterType::ColorMatrix:
            for (int i = 0; i < 20 && r.ok(); ++i)
                p.matrix.push_back(r.f32());
            break;
        case FilterType::DisplacementMap:  // never stored in a file: refused above
            break;
    }
    if (!r.ok())
        return makeError("filter type " + std::to_string(filter.type) + ": " + r.error(), -1,
                         int64_t(r.errorPos()));
    return p;
}

}  // namespace swf
