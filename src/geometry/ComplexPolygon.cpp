#include "geometry/ComplexPolygon.h"

#include "log/Exception.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
namespace {

constexpr std::uint32_t kNone = 0xffffffffu;

// The sweep runs in the mirrored frame x = -u, y = v: there the outer loops
// run counter-clockwise and ties in v are broken towards smaller x, which is
// the textbook set-up of the make-monotone sweep.
struct SweepPoint {
    double x;
    double y;
};

double cross(const SweepPoint& o, const SweepPoint& a, const SweepPoint& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

[[noreturn]] void throwTriangulationError() {
    throw Exception(ErrorCode::OperationFailed, "Triangulation Error", "ComplexPolygon::triangulate()");
}

} // namespace

ComplexPolygon::ComplexPolygon(const std::vector<double>& vertices, const double o[3],
                               const double u[3], const double v[3],
                               std::multimap<std::uint32_t, std::uint32_t>& edges)
    : sourceVertices(&vertices) {
    for (int k = 0; k < 3; ++k) {
        origin[k] = o[k];
        axisU[k] = u[k];
        axisV[k] = v[k];
    }
    std::vector<std::uint32_t> loop;
    while (!edges.empty()) {
        const std::uint32_t start = edges.begin()->first;
        loop.clear();
        std::uint32_t current = start;
        do {
            loop.push_back(current);
            const auto edge = chooseOutgoingEdge(edges, loop);
            if (edge == edges.end())
                throw Exception(ErrorCode::OperationFailed, "Unclosed polygon!", "ComplexPolygon::ComplexPolygon()");
            current = edge->second;
            edges.erase(edge);
        } while (current != start);
        addLoop(loop);
    }
    classifyVertices();
}

std::multimap<std::uint32_t, std::uint32_t>::iterator
ComplexPolygon::chooseOutgoingEdge(std::multimap<std::uint32_t, std::uint32_t>& edges,
                                   const std::vector<std::uint32_t>& loop) const {
    const std::uint32_t current = loop.back();
    auto range = edges.equal_range(current);
    if (range.first == range.second)
        return edges.end();
    if (std::next(range.first) == range.second || loop.size() < 2)
        return range.first;
    // Where loops touch at a vertex, take the sharpest right turn so that
    // the walk keeps the region on its right and never crosses itself.
    const std::uint32_t from = loop[loop.size() - 2];
    double u0, v0, u1, v1;
    project(current, u0, v0);
    project(from, u1, v1);
    const double back = std::atan2(v1 - v0, u1 - u0);
    auto best = range.first;
    double bestTurn = HUGE_VAL;
    for (auto it = range.first; it != range.second; ++it) {
        double u2, v2;
        project(it->second, u2, v2);
        double turn = std::atan2(v2 - v0, u2 - u0) - back;
        while (turn <= 0.0)
            turn += 2.0 * M_PI;
        if (turn < bestTurn) {
            bestTurn = turn;
            best = it;
        }
    }
    return best;
}

void ComplexPolygon::project(std::uint32_t index, double& u, double& v) const {
    const std::vector<double>& src = *sourceVertices;
    const double w = src[4 * index + 3];
    double d[3];
    for (int k = 0; k < 3; ++k)
        d[k] = src[4 * index + k] / w - origin[k];
    u = d[0] * axisU[0] + d[1] * axisU[1] + d[2] * axisU[2];
    v = d[0] * axisV[0] + d[1] * axisV[1] + d[2] * axisV[2];
}

void ComplexPolygon::addLoop(const std::vector<std::uint32_t>& loop) {
    const std::uint32_t first = static_cast<std::uint32_t>(points.size());
    for (const std::uint32_t index : loop) {
        PolygonVertex p;
        p.source = index;
        p.type = PolygonVertexType::RegularRising;
        project(index, p.u, p.v);
        // A point equal to the one before adds nothing to the outline.
        if (points.size() > first && points.back().u == p.u && points.back().v == p.v)
            continue;
        points.push_back(p);
    }
    if (points.size() - first > 1 && points.back().u == points[first].u && points.back().v == points[first].v)
        points.pop_back();
    const std::uint32_t count = static_cast<std::uint32_t>(points.size()) - first;
    if (count < 3) {
        points.resize(first);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        points[first + i].previous = first + (i + count - 1) % count;
        points[first + i].next = first + (i + 1) % count;
    }
}

bool ComplexPolygon::above(std::uint32_t a, std::uint32_t b) const {
    const PolygonVertex& pa = points[a];
    const PolygonVertex& pb = points[b];
    return pa.v > pb.v || (pa.v == pb.v && pa.u > pb.u);
}

void ComplexPolygon::classifyVertices() {
    for (std::uint32_t i = 0; i < points.size(); ++i) {
        PolygonVertex& p = points[i];
        const PolygonVertex& a = points[p.previous];
        const PolygonVertex& b = points[p.next];
        const double c = (b.u - a.u) * (p.v - a.v) - (p.u - a.u) * (b.v - a.v);
        const bool aboveA = above(i, p.previous);
        const bool aboveB = above(i, p.next);
        if (aboveA && aboveB)
            p.type = c > 0 ? PolygonVertexType::Start : PolygonVertexType::Split;
        else if (!aboveA && !aboveB)
            p.type = c > 0 ? PolygonVertexType::End : PolygonVertexType::Merge;
        else if (aboveA)
            p.type = PolygonVertexType::RegularRising;
        else
            p.type = PolygonVertexType::RegularFalling;
    }
}

void ComplexPolygon::triangulate(std::vector<TriFace>& out) const {
    const std::uint32_t n = static_cast<std::uint32_t>(points.size());
    if (n < 3)
        return;
    std::vector<SweepPoint> xy(n);
    for (std::uint32_t i = 0; i < n; ++i)
        xy[i] = {-points[i].u, points[i].v};

    std::vector<std::uint32_t> order(n);
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) { return above(a, b); });

    // Sweep status: edges i -> next(i) running downwards with the interior
    // on their right, each with its helper vertex.
    struct StatusEdge {
        std::uint32_t upper;
        std::uint32_t helper;
    };
    std::vector<StatusEdge> status;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> diagonals;

    auto xAt = [&](std::uint32_t upper, double y) {
        const SweepPoint& a = xy[upper];
        const SweepPoint& b = xy[points[upper].next];
        if (a.y == b.y)
            return std::max(a.x, b.x);
        return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
    };
    auto findStatus = [&](std::uint32_t upper) {
        for (std::size_t k = 0; k < status.size(); ++k)
            if (status[k].upper == upper)
                return k;
        throwTriangulationError();
    };
    auto isMerge = [&](std::uint32_t i) { return points[i].type == PolygonVertexType::Merge; };
    // Ends the edge arriving at i from above, joining i to a merge helper.
    auto finishPreviousEdge = [&](std::uint32_t i) {
        const std::size_t k = findStatus(points[i].previous);
        if (isMerge(status[k].helper))
            diagonals.emplace_back(i, status[k].helper);
        status.erase(status.begin() + static_cast<std::ptrdiff_t>(k));
    };
    auto edgeLeftOf = [&](std::uint32_t i) -> StatusEdge& {
        std::size_t best = status.size();
        double bestX = -HUGE_VAL;
        for (std::size_t k = 0; k < status.size(); ++k) {
            const double x = xAt(status[k].upper, xy[i].y);
            if (x <= xy[i].x && x > bestX) {
                bestX = x;
                best = k;
            }
        }
        if (best == status.size())
            throwTriangulationError();
        return status[best];
    };

    for (const std::uint32_t i : order) {
        switch (points[i].type) {
        case PolygonVertexType::Start:
            status.push_back({i, i});
            break;
        case PolygonVertexType::End:
            finishPreviousEdge(i);
            break;
        case PolygonVertexType::Split: {
            StatusEdge& left = edgeLeftOf(i);
            diagonals.emplace_back(i, left.helper);
            left.helper = i;
            status.push_back({i, i});
            break;
        }
        case PolygonVertexType::Merge: {
            finishPreviousEdge(i);
            StatusEdge& left = edgeLeftOf(i);
            if (isMerge(left.helper))
                diagonals.emplace_back(i, left.helper);
            left.helper = i;
            break;
        }
        case PolygonVertexType::RegularFalling:
            finishPreviousEdge(i);
            status.push_back({i, i});
            break;
        case PolygonVertexType::RegularRising: {
            StatusEdge& left = edgeLeftOf(i);
            if (isMerge(left.helper))
                diagonals.emplace_back(i, left.helper);
            left.helper = i;
            break;
        }
        }
    }

    // Half-edges of the boundary plus both directions of every diagonal;
    // each face traced through them is monotone.
    struct HalfEdge {
        std::uint32_t from;
        std::uint32_t to;
    };
    std::vector<HalfEdge> halfEdges;
    halfEdges.reserve(n + 2 * diagonals.size());
    for (std::uint32_t i = 0; i < n; ++i)
        halfEdges.push_back({i, points[i].next});
    for (const auto& d : diagonals) {
        halfEdges.push_back({d.first, d.second});
        halfEdges.push_back({d.second, d.first});
    }
    std::vector<std::vector<std::uint32_t>> outgoing(n);
    for (std::uint32_t h = 0; h < halfEdges.size(); ++h)
        outgoing[halfEdges[h].from].push_back(h);

    // The face left of a -> b continues along the first edge leaving b
    // clockwise from the direction back to a.
    auto nextHalfEdge = [&](std::uint32_t h) {
        const std::uint32_t b = halfEdges[h].to;
        const std::vector<std::uint32_t>& candidates = outgoing[b];
        if (candidates.size() == 1)
            return candidates[0];
        const std::uint32_t a = halfEdges[h].from;
        const double back = std::atan2(xy[a].y - xy[b].y, xy[a].x - xy[b].x);
        std::uint32_t best = kNone;
        double bestTurn = HUGE_VAL;
        for (const std::uint32_t c : candidates) {
            const std::uint32_t t = halfEdges[c].to;
            double turn = back - std::atan2(xy[t].y - xy[b].y, xy[t].x - xy[b].x);
            while (turn <= 0.0)
                turn += 2.0 * M_PI;
            if (turn < bestTurn) {
                bestTurn = turn;
                best = c;
            }
        }
        return best;
    };

    std::vector<char> used(halfEdges.size(), 0);
    std::vector<std::uint32_t> face;
    for (std::uint32_t h = 0; h < halfEdges.size(); ++h) {
        if (used[h])
            continue;
        face.clear();
        std::uint32_t e = h;
        while (!used[e]) {
            used[e] = 1;
            face.push_back(halfEdges[e].from);
            e = nextHalfEdge(e);
        }
        if (e != h)
            throwTriangulationError();
        triangulateMonotone(face, out);
    }
}

void ComplexPolygon::triangulateMonotone(const std::vector<std::uint32_t>& face, std::vector<TriFace>& out) const {
    const std::size_t n = face.size();
    if (n < 3)
        return;
    auto point = [this](std::uint32_t i) { return SweepPoint{-points[i].u, points[i].v}; };
    auto emit = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        out.push_back({{points[a].source, points[b].source, points[c].source}});
    };
    if (n == 3) {
        emit(face[0], face[1], face[2]);
        return;
    }
    std::size_t top = 0, bottom = 0;
    for (std::size_t k = 1; k < n; ++k) {
        if (above(face[k], face[top]))
            top = k;
        if (above(face[bottom], face[k]))
            bottom = k;
    }
    // Counter-clockwise from the top runs down the left chain.
    struct ChainVertex {
        std::uint32_t index;
        bool left;
    };
    std::vector<ChainVertex> sorted;
    sorted.reserve(n);
    for (std::size_t k = top; k != bottom; k = (k + 1) % n)
        sorted.push_back({face[k], true});
    for (std::size_t k = bottom; k != top; k = (k + 1) % n)
        sorted.push_back({face[k], false});
    std::sort(sorted.begin(), sorted.end(),
              [this](const ChainVertex& a, const ChainVertex& b) { return above(a.index, b.index); });

    std::vector<ChainVertex> stack;
    stack.reserve(n);
    stack.push_back(sorted[0]);
    stack.push_back(sorted[1]);
    for (std::size_t j = 2; j + 1 < n; ++j) {
        const ChainVertex q = sorted[j];
        if (q.left != stack.back().left) {
            for (std::size_t k = 0; k + 1 < stack.size(); ++k) {
                if (q.left)
                    emit(q.index, stack[k + 1].index, stack[k].index);
                else
                    emit(q.index, stack[k].index, stack[k + 1].index);
            }
            const ChainVertex previousTop = stack.back();
            stack.clear();
            stack.push_back(previousTop);
            stack.push_back(q);
            continue;
        }
        ChainVertex last = stack.back();
        stack.pop_back();
        while (!stack.empty()) {
            const ChainVertex below = stack.back();
            const SweepPoint pq = point(q.index), pl = point(last.index), pb = point(below.index);
            const double turn = q.left ? cross(pb, pl, pq) : cross(pq, pl, pb);
            if (turn <= 0.0)
                break;
            if (q.left)
                emit(below.index, last.index, q.index);
            else
                emit(q.index, last.index, below.index);
            last = below;
            stack.pop_back();
        }
        stack.push_back(last);
        stack.push_back(q);
    }
    const ChainVertex q = sorted[n - 1];
    for (std::size_t k = 0; k + 1 < stack.size(); ++k) {
        if (stack[k + 1].left)
            emit(q.index, stack[k].index, stack[k + 1].index);
        else
            emit(q.index, stack[k + 1].index, stack[k].index);
    }
}

} // namespace Kiln
