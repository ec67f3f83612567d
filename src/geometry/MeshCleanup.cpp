#include "geometry/MeshCleanup.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace Kiln {
namespace {

float magnitude(const Ogre::Vector3& p) {
    return std::max(std::fabs(p.x), std::max(std::fabs(p.y), std::fabs(p.z)));
}

// The first index i with sorted[i] >= value (not below) or > value
// (`strictly`), searched outwards from `hint` in doubling steps: the
// answer is usually a few places away, so this stays in the cache lines
// around the hint instead of halving the whole array.
std::size_t boundNear(const std::vector<float>& sorted, std::size_t hint, float value, bool strictly) {
    const auto before = [&](std::size_t i) { return strictly ? sorted[i] <= value : sorted[i] < value; };
    std::size_t lo, hi; // before(lo - 1) or lo == 0; !before(hi) or hi == size
    if (hint < sorted.size() && before(hint)) {
        lo = hint + 1;
        std::size_t step = 1;
        while (lo + step <= sorted.size() && before(lo + step - 1)) {
            lo += step;
            step *= 2;
        }
        hi = std::min(sorted.size(), lo + step);
    } else {
        hi = std::min(hint, sorted.size());
        std::size_t step = 1;
        while (hi >= step && !before(hi - step)) {
            hi -= step;
            step *= 2;
        }
        lo = hi >= step ? hi - step : 0;
    }
    const auto first = sorted.begin() + static_cast<std::ptrdiff_t>(lo), last = sorted.begin() + static_cast<std::ptrdiff_t>(hi);
    return static_cast<std::size_t>(
        (strictly ? std::upper_bound(first, last, value) : std::lower_bound(first, last, value)) - sorted.begin());
}

// The snapping tolerance, relative to a point's largest coordinate.
constexpr float kRelative = 1e-7f;

// Moves each group of vertices whose boxes of half-size t overlap to the
// group's average, visiting vertices in order. t is about one float step at
// the larger of the two points (1e-7 of its largest coordinate), so a piece
// far from the origin never makes a piece near it collapse.
bool snapVertices(std::vector<Vertex>& vertices) {
    if (vertices.size() < 2)
        return false;
    // Sorted by x, then y, then z: the candidates of a vertex lie in runs of
    // equal x within reach, and inside each run in a range of y found by
    // binary search. A flat face (thousands of vertices with one x) then
    // costs a search, not a scan of the whole face for every vertex.
    // The positions are sorted with their ids beside them: comparing
    // through the ids would miss the cache on every comparison.
    struct Keyed {
        float x, y, z;
        std::uint32_t id;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(vertices.size());
    for (std::uint32_t v = 0; v < vertices.size(); ++v)
        if (std::isfinite(magnitude(vertices[v].position))) {
            const Ogre::Vector3& p = vertices[v].position;
            keyed.push_back({p.x, p.y, p.z, v});
        }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& p, const Keyed& q) {
        return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : p.z < q.z;
    });
    constexpr std::uint32_t kNoRank = 0xffffffffu;
    std::vector<std::uint32_t> order(keyed.size()), rank(vertices.size(), kNoRank);
    std::vector<float> sortedX(keyed.size()), sortedY(keyed.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        order[i] = keyed[i].id;
        rank[keyed[i].id] = static_cast<std::uint32_t>(i);
        sortedX[i] = keyed[i].x;
        sortedY[i] = keyed[i].y;
    }
    std::vector<Keyed>().swap(keyed);
    std::vector<std::uint32_t> group;
    std::vector<std::uint8_t> shifted(vertices.size(), 0);
    bool moved = false;
    for (std::uint32_t v = 0; v < vertices.size(); ++v) {
        const Ogre::Vector3 p = vertices[v].position;
        // Earlier moves shift points by at most t, hence 5t and not 2t.
        const float reach = 5 * kRelative * magnitude(p);
        if (!(reach > 0.0f) || !std::isfinite(reach))
            continue;
        // Most vertices have no other x within reach: then the two beside
        // it in sorted order are out of reach too, and it stays alone.
        const std::uint32_t r = rank[v];
        if (!shifted[v] && r != kNoRank && (r == 0 || sortedX[r - 1] < p.x - reach) &&
            (r + 1 == sortedX.size() || sortedX[r + 1] > p.x + reach))
            continue;
        group.clear();
        // An unsorted vertex (not finite) has no rank: search from the start.
        std::size_t first = boundNear(sortedX, r == kNoRank ? 0 : r, p.x - reach, false);
        while (first != sortedX.size() && sortedX[first] <= p.x + reach) {
            const std::size_t last = boundNear(sortedX, first, sortedX[first], true);
            auto i = static_cast<std::size_t>(
                std::lower_bound(sortedY.begin() + first, sortedY.begin() + last, p.y - reach) - sortedY.begin());
            for (; i < last && sortedY[i] <= p.y + reach; ++i) {
                if (closeEnoughToSnap(p, vertices[order[i]].position))
                    group.push_back(order[i]);
            }
            first = last;
        }
        if (group.size() < 2)
            continue;
        Ogre::Vector3 sum = Ogre::Vector3::ZERO;
        for (const std::uint32_t g : group)
            sum += vertices[g].position / static_cast<float>(group.size());  // no overflow near the float limit
        for (const std::uint32_t g : group) {
            moved |= vertices[g].position != sum;
            shifted[g] |= vertices[g].position != sum;
            vertices[g].position = sum;
        }
    }
    return moved;
}

// Faces with two corners at one position go; the larger index of each such
// pair is mapped to the smaller for the remaining faces (one level).
bool mergeCollapsedCorners(const std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    std::vector<std::uint32_t> map(vertices.size());
    std::iota(map.begin(), map.end(), 0u);
    bool removed = false;
    for (std::size_t f = 0; f < faces.size();) {
        const Face& face = faces[f];
        bool collapsed = false;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = face[k], b = face[(k + 1) % 3];
            if (vertices[a].position == vertices[b].position) {
                map[std::max(a, b)] = map[std::min(a, b)];
                collapsed = true;
            }
        }
        if (!collapsed) {
            ++f;
            continue;
        }
        faces[f] = faces.back();
        faces.pop_back();
        removed = true;
    }
    if (removed)
        for (Face& face : faces) {
            face.i0 = map[face.i0];
            face.i1 = map[face.i1];
            face.i2 = map[face.i2];
        }
    return removed;
}

// Removes faces that repeat a corner and faces equal (up to rotation) to an
// earlier one. Faces kept are found again through a flat open-addressing
// table of their rotated corners: no allocation per face.
bool removeDegenerateAndDuplicateFaces(std::vector<Face>& faces) {
    using Key = std::array<std::uint32_t, 3>;
    constexpr std::uint32_t kEmpty = 0xffffffffu;
    std::size_t size = 16;
    while (size < 2 * faces.size())
        size *= 2;
    std::vector<std::uint32_t> table(size, kEmpty); // index of a kept face
    std::vector<Key> kept;
    kept.reserve(faces.size());
    const auto home = [&](const Key& k) {
        const std::uint64_t h = (k[0] * 0x9E3779B97F4A7C15ull) ^ (k[1] * 0xC2B2AE3D27D4EB4Full) ^
                                (k[2] * 0x165667B19E3779F9ull);
        return static_cast<std::size_t>(h ^ (h >> 29)) & (size - 1);
    };
    std::size_t out = 0;
    for (const Face& face : faces) {
        if (face.i0 == face.i1 || face.i1 == face.i2 || face.i2 == face.i0)
            continue;
        // Rotate the smallest index first so equal faces give equal keys.
        Key key{face.i0, face.i1, face.i2};
        std::rotate(key.begin(), std::min_element(key.begin(), key.end()), key.end());
        std::size_t slot = home(key);
        while (table[slot] != kEmpty && kept[table[slot]] != key)
            slot = (slot + 1) & (size - 1);
        if (table[slot] != kEmpty)
            continue;
        table[slot] = static_cast<std::uint32_t>(kept.size());
        kept.push_back(key);
        faces[out++] = face;
    }
    const bool changed = out != faces.size();
    faces.resize(out);
    return changed;
}

} // namespace

bool closeEnoughToSnap(const Ogre::Vector3& p, const Ogre::Vector3& q) {
    const float t = kRelative * std::max(magnitude(p), magnitude(q));
    return std::fabs(q.x - p.x) <= 2 * t && std::fabs(q.y - p.y) <= 2 * t && std::fabs(q.z - p.z) <= 2 * t;
}

bool removeUnusedVertices(std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    constexpr std::uint32_t kUnused = 0xffffffffu;
    std::vector<std::uint32_t> remap(vertices.size(), kUnused);
    for (const Face& face : faces)
        for (int k = 0; k < 3; ++k)
            remap[face[k]] = 0;
    std::uint32_t next = 0;
    for (std::uint32_t v = 0; v < vertices.size(); ++v)
        if (remap[v] != kUnused) {
            remap[v] = next;
            vertices[next++] = vertices[v];
        }
    if (next == vertices.size())
        return false;
    vertices.resize(next);
    for (Face& face : faces) {
        face.i0 = remap[face.i0];
        face.i1 = remap[face.i1];
        face.i2 = remap[face.i2];
    }
    return true;
}

bool cleanUpMesh(std::vector<Vertex>& vertices, std::vector<Face>& faces) {
    bool changed = snapVertices(vertices);
    changed |= mergeCollapsedCorners(vertices, faces);
    changed |= removeDegenerateAndDuplicateFaces(faces);
    changed |= removeUnusedVertices(vertices, faces);
    return changed;
}

bool cleanUpMesh(DynamicMesh& mesh) {
    std::vector<Vertex> vertices = mesh.getVertices();
    std::vector<Face> faces = mesh.getFaces();
    const bool changed = cleanUpMesh(vertices, faces);
    if (changed) {
        mesh.swapVertices(vertices);
        mesh.swapFaces(faces);
    }
    return changed;
}

} // namespace Kiln
