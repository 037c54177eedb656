#include "player/core/shape_geometry.h"

#include <variant>

#include "player/core/edge_linker.h"

namespace player {
namespace {

struct GroupEdges {
    const swf::StyleSet* styles = nullptr;
    std::vector<std::vector<Edge>> fillEdges;  // index = fill style - 1
    std::vector<std::vector<Edge>> lineEdges;  // index = line style - 1
};

void flushGroup(GroupEdges& g, ShapeGeometry& out, bool nonZero) {
    if (!g.styles) return;
    ShapeGeometry::Group group;
    for (size_t i = 0; i < g.fillEdges.size(); ++i) {
        if (g.fillEdges[i].empty()) continue;
        ShapeGeometry::Fill f;
        f.style = g.styles->fills[i];
        linkFillEdges(g.fillEdges[i], f.path, nonZero);
        f.rule = nonZero ? raster::FillRule::NonZero : raster::FillRule::EvenOdd;
        group.fills.push_back(std::move(f));
    }
    for (size_t i = 0; i < g.lineEdges.size(); ++i) {
        if (g.lineEdges[i].empty()) continue;
        ShapeGeometry::Line l;
        l.style = g.styles->lines[i];
        for (const StrokePiece& piece : chainStrokeEdges(g.lineEdges[i]))
            appendEdges(piece.edges, piece.closed && !l.style.noClose, l.path);
        group.lines.push_back(std::move(l));
    }
    if (!group.fills.empty() || !group.lines.empty()) out.groups.push_back(std::move(group));
}

void startGroup(GroupEdges& g, const swf::StyleSet* styles) {
    g.styles = styles;
    g.fillEdges.assign(styles->fills.size(), {});
    g.lineEdges.assign(styles->lines.size(), {});
}

}  // namespace

ShapeGeometry buildShapeGeometry(const swf::Shape& shape, bool nonZero) {
    ShapeGeometry out;
    GroupEdges g;
    startGroup(g, &shape.styles);
    int32_t x = 0, y = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    size_t edges = 0;
    for (const swf::ShapeRecord& rec : shape.records) {
        if (const auto* sc = std::get_if<swf::StyleChange>(&rec)) {
            if (sc->newStyles) {
                flushGroup(g, out, nonZero);
                startGroup(g, sc->newStyles.get());
                fill0 = fill1 = line = 0;
            }
            if (sc->moveX) {
                x = *sc->moveX;
                y = sc->moveY.value_or(0);
            }
            if (sc->fill0) fill0 = *sc->fill0;
            if (sc->fill1) fill1 = *sc->fill1;
            if (sc->line) line = *sc->line;
            continue;
        }
        if (++edges > kMaxShapeEdges) break;
        Edge e{};
        e.x0 = x;
        e.y0 = y;
        if (const auto* s = std::get_if<swf::StraightEdge>(&rec)) {
            e.x1 = x + s->dx;
            e.y1 = y + s->dy;
            e.curve = false;
        } else {
            const auto& c = std::get<swf::CurvedEdge>(rec);
            e.cx = x + c.controlDx;
            e.cy = y + c.controlDy;
            e.x1 = e.cx + c.anchorDx;
            e.y1 = e.cy + c.anchorDy;
            e.curve = true;
        }
        x = e.x1;
        y = e.y1;
        // An edge with the same style on both sides lies inside one region and draws nothing.
        if (fill0 != fill1) {
            // Fill style 0 lies left of the edge, fill style 1 right of it: turned round, a fill-0 edge has
            // its fill on the same side as a fill-1 edge, which the non-zero rule needs.
            if (fill0 && fill0 <= g.fillEdges.size())
                g.fillEdges[fill0 - 1].push_back(nonZero ? e.reversed() : e);
            if (fill1 && fill1 <= g.fillEdges.size()) g.fillEdges[fill1 - 1].push_back(e);
        }
        if (line && line <= g.lineEdges.size()) g.lineEdges[line - 1].push_back(e);
    }
    flushGroup(g, out, nonZero);
    out.edgeCount = edges;
    return out;
}

}  // namespace player
