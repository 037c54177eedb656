#include "player/core/edge_linker.h"

#include <unordered_map>

namespace player {
namespace {

uint64_t key(int32_t x, int32_t y) {
    return (uint64_t(uint32_t(x)) << 32) | uint32_t(y);
}

}  // namespace

void appendEdges(const std::vector<Edge>& edges, bool close, raster::Path& out) {
    if (edges.empty()) return;
    out.moveTo(edges[0].x0, edges[0].y0);
    for (const Edge& e : edges) {
        if (e.curve)
            out.quadTo(e.cx, e.cy, e.x1, e.y1);
        else
            out.lineTo(e.x1, e.y1);
    }
    if (close) out.close();
}

void linkFillEdges(const std::vector<Edge>& edges, raster::Path& out, bool oriented) {
    const size_t n = edges.size();
    if (n == 0) return;
    // Index every unused edge by both of its ends; an edge may be walked either way round, since the
    // fill rule (even-odd) does not care about direction.
    std::unordered_multimap<uint64_t, size_t> byPoint;
    byPoint.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        byPoint.emplace(key(edges[i].x0, edges[i].y0), i);
        if (!oriented) byPoint.emplace(key(edges[i].x1, edges[i].y1), i);
    }
    std::vector<bool> used(n, false);
    std::vector<Edge> loop;
    auto takeFrom = [&](int32_t x, int32_t y, Edge& next) {
        auto range = byPoint.equal_range(key(x, y));
        for (auto it = range.first; it != range.second; ++it) {
            size_t j = it->second;
            if (used[j]) continue;
            const Edge& e = edges[j];
            if (oriented && !(e.x0 == x && e.y0 == y)) continue;
            next = (e.x0 == x && e.y0 == y) ? e : e.reversed();
            used[j] = true;
            return true;
        }
        return false;
    };
    for (size_t i = 0; i < n; ++i) {
        if (used[i]) continue;
        used[i] = true;
        loop.clear();
        loop.push_back(edges[i]);
        // Prefer the drawing order: most shapes list each outline's edges one after another.
        size_t j = i + 1;
        while (!(loop.back().x1 == loop.front().x0 && loop.back().y1 == loop.front().y0)) {
            const Edge& last = loop.back();
            if (j < n && !used[j] && edges[j].x0 == last.x1 && edges[j].y0 == last.y1) {
                used[j] = true;
                loop.push_back(edges[j++]);
                continue;
            }
            Edge next;
            if (!takeFrom(last.x1, last.y1, next)) break;
            loop.push_back(next);
        }
        appendEdges(loop, true, out);
    }
}

std::vector<StrokePiece> chainStrokeEdges(const std::vector<Edge>& edges) {
    std::vector<StrokePiece> pieces;
    for (const Edge& e : edges) {
        if (pieces.empty() || pieces.back().edges.back().x1 != e.x0 || pieces.back().edges.back().y1 != e.y0)
            pieces.emplace_back();
        pieces.back().edges.push_back(e);
    }
    for (StrokePiece& p : pieces) {
        const Edge& a = p.edges.front();
        const Edge& b = p.edges.back();
        p.closed = p.edges.size() > 1 && a.x0 == b.x1 && a.y0 == b.y1;
    }
    return pieces;
}

}  // namespace player
