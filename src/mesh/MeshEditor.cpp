#include "mesh/MeshEditor.h"

#include "log/Exception.h"

#include <OgreMath.h>

#include <cmath>
#include <vector>

namespace Kiln {

namespace {

constexpr int ringCount = 16;     // hexagonal rings per disc, hemisphere and cone
constexpr float radius = 3.0f;    // sphere, cone and cylinder radius
constexpr float halfSize = 3.0f;  // half the cube side and the cone / cylinder height

struct MeshLists {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    Ogre::ColourValue colour;

    std::uint32_t next() const { return static_cast<std::uint32_t>(vertices.size()); }
    void addVertex(const Ogre::Vector3& position, float u, float v) {
        vertices.push_back(Vertex{position, colour, u, v});
    }
    void addFace(std::uint32_t a, std::uint32_t b, std::uint32_t c, bool flip) {
        faces.push_back(flip ? Face{a, c, b} : Face{a, b, c});
    }
};

// A grid of nU x nW cells spanning U and W around `origin`; faces point along
// U x W, or against it with `flip`. Neighbouring cells alternate their
// diagonals so that the surface bends evenly when deformed.
void addGrid(MeshLists& mesh, const Ogre::Vector3& origin, const Ogre::Vector3& U,
             const Ogre::Vector3& W, int nU, int nW, bool flip) {
    const std::uint32_t base = mesh.next();
    for (int j = -nW; j <= nW; j += 2)
        for (int i = -nU; i <= nU; i += 2) {
            const float s = static_cast<float>(i) / (2 * nU);
            const float t = static_cast<float>(j) / (2 * nW);
            mesh.addVertex(origin + U * s + W * t, static_cast<float>(i + nU) / (2 * nU),
                           static_cast<float>(nW - j) / (2 * nW));
        }
    const std::uint32_t rowLength = static_cast<std::uint32_t>(nU + 1);
    for (int j = -nW; j < nW; j += 2)
        for (int i = -nU; i < nU; i += 2) {
            const std::uint32_t p = base + static_cast<std::uint32_t>((j + nW) / 2) * rowLength +
                                    static_cast<std::uint32_t>((i + nU) / 2);
            const std::uint32_t r = p + rowLength;
            if (((i & 2) != 0) == ((j & 2) != 0)) {
                mesh.addFace(r, p, r + 1, flip);
                mesh.addFace(p + 1, r + 1, p, flip);
            } else {
                mesh.addFace(p, p + 1, r, flip);
                mesh.addFace(r + 1, r, p + 1, flip);
            }
        }
}

// Ring k of a hexagonal disc has 6k vertices starting at ringStart(k) after
// the centre vertex.
std::uint32_t ringStart(int k) { return static_cast<std::uint32_t>(1 + 3 * k * (k - 1)); }

float ringAngle(int m, int k) { return static_cast<float>(m) * Ogre::Math::PI / (3.0f * k); }

// How far a ring point lies from the centre (`spread`) and towards the pole
// (`lift`) for ring k of n.
using RingProfile = void (*)(int k, int n, float& spread, float& lift);

void coneProfile(int k, int n, float& spread, float& lift) {
    spread = static_cast<float>(k) / n;
    lift = 1.0f - spread;
}

void hemisphereProfile(int k, int n, float& spread, float& lift) {
    if (k == n) {  // exact rim, so that two hemispheres meet bit for bit
        spread = 1.0f;
        lift = 0.0f;
        return;
    }
    const float polar = static_cast<float>(k) / n * Ogre::Math::HALF_PI;
    spread = std::sin(polar);
    lift = std::cos(polar);
}

// Point m of the rim (ring n) around `centre`: shared by discs and the
// cylinder mantle so that their rims coincide exactly.
Ogre::Vector3 rimPoint(const Ogre::Vector3& centre, const Ogre::Vector3& R1,
                       const Ogre::Vector3& R2, int m, int n) {
    const float a = ringAngle(m, n);
    return centre + (R1 * std::cos(a) + R2 * std::sin(a));
}

// Hexagonal rings from the pole C + H out to the rim around C; with R1 x R2
// along H the faces point towards H, unless `flip`. Returns the index of the
// first rim vertex (the rim's 6n vertices follow in angle order).
std::uint32_t addRings(MeshLists& mesh, const Ogre::Vector3& C, const Ogre::Vector3& H,
                       const Ogre::Vector3& R1, const Ogre::Vector3& R2, int n,
                       RingProfile profile, bool flip) {
    const std::uint32_t base = mesh.next();
    mesh.addVertex(C + H, 0.5f, 0.5f);
    for (int k = 1; k <= n; ++k) {
        float spread = 0.0f;
        float lift = 0.0f;
        profile(k, n, spread, lift);
        for (int m = 0; m < 6 * k; ++m) {
            const float a = ringAngle(m, k);
            const Ogre::Vector3 position =
                k == n && lift == 0.0f ? rimPoint(C, R1, R2, m, n)
                                       : C + (R1 * std::cos(a) + R2 * std::sin(a)) * spread + H * lift;
            const float t = static_cast<float>(k) / n;
            mesh.addVertex(position, 0.5f + 0.5f * t * std::cos(a), 0.5f - 0.5f * t * std::sin(a));
        }
    }
    // Join ring k-1 to ring k sector by sector: each of the six sectors is a
    // strip with k-1 inner and k outer segments.
    for (int k = 1; k <= n; ++k) {
        const int inner = k - 1;
        const auto innerIndex = [&](int m) {
            return inner == 0 ? base : base + ringStart(inner) + static_cast<std::uint32_t>(m % (6 * inner));
        };
        const auto outerIndex = [&](int m) {
            return base + ringStart(k) + static_cast<std::uint32_t>(m % (6 * k));
        };
        for (int sector = 0; sector < 6; ++sector) {
            int a = 0;
            int b = 0;
            while (a < inner || b < k) {
                // Advance the side whose next vertex comes first in angle.
                const bool outerFirst = a == inner || (b < k && (b + 1) * inner <= (a + 1) * k);
                if (outerFirst) {
                    mesh.addFace(innerIndex(sector * inner + a), outerIndex(sector * k + b),
                                 outerIndex(sector * k + b + 1), flip);
                    ++b;
                } else {
                    mesh.addFace(innerIndex(sector * inner + a), outerIndex(sector * k + b),
                                 innerIndex(sector * inner + a + 1), flip);
                    ++a;
                }
            }
        }
    }
    return base + ringStart(n);
}

void buildPlane(MeshLists& mesh) {
    const Ogre::Vector3 U(6, 0, 0);
    const Ogre::Vector3 W(0, 6, 0);
    addGrid(mesh, Ogre::Vector3::ZERO, U, W, 24, 24, true);
    addGrid(mesh, Ogre::Vector3::ZERO, U, W, 24, 24, false);
}

void buildCube(MeshLists& mesh) {
    const float s = 2 * halfSize;
    const Ogre::Vector3 X(s, 0, 0), Y(0, s, 0), Z(0, 0, s);
    // Each grid's U x W points out of the cube.
    addGrid(mesh, Ogre::Vector3(halfSize, 0, 0), Y, Z, 24, 24, false);
    addGrid(mesh, Ogre::Vector3(-halfSize, 0, 0), Z, Y, 24, 24, false);
    addGrid(mesh, Ogre::Vector3(0, halfSize, 0), Z, X, 24, 24, false);
    addGrid(mesh, Ogre::Vector3(0, -halfSize, 0), X, Z, 24, 24, false);
    addGrid(mesh, Ogre::Vector3(0, 0, halfSize), X, Y, 24, 24, false);
    addGrid(mesh, Ogre::Vector3(0, 0, -halfSize), Y, X, 24, 24, false);
}

void buildSphere(MeshLists& mesh) {
    const Ogre::Vector3 R1(radius, 0, 0), R2(0, radius, 0), H(0, 0, radius);
    const std::uint32_t seam = addRings(mesh, Ogre::Vector3::ZERO, H, R1, R2, ringCount,
                                        hemisphereProfile, false);
    const std::size_t northFaces = mesh.faces.size();
    const std::uint32_t southSeam = addRings(mesh, Ogre::Vector3::ZERO, -H, R1, R2, ringCount,
                                             hemisphereProfile, true);
    // The south seam is the last ring of the vertex list: drop it and point
    // its faces at the north seam, which has the same positions.
    const std::uint32_t seamSize = 6 * ringCount;
    mesh.vertices.resize(southSeam);
    for (std::size_t f = northFaces; f < mesh.faces.size(); ++f)
        for (std::uint32_t* index : {&mesh.faces[f].i0, &mesh.faces[f].i1, &mesh.faces[f].i2})
            if (*index >= southSeam)
                *index = seam + (*index - southSeam) % seamSize;
}

void buildCone(MeshLists& mesh) {
    const Ogre::Vector3 R1(radius, 0, 0), R2(0, radius, 0);
    const Ogre::Vector3 base(0, 0, -halfSize), H(0, 0, 2 * halfSize);
    addRings(mesh, base, H, R1, R2, ringCount, coneProfile, false);
    addRings(mesh, base, Ogre::Vector3::ZERO, R1, R2, ringCount, coneProfile, true);
}

void buildCylinder(MeshLists& mesh) {
    const Ogre::Vector3 R1(radius, 0, 0), R2(0, radius, 0);
    const Ogre::Vector3 top(0, 0, halfSize), bottom(0, 0, -halfSize);
    addRings(mesh, top, Ogre::Vector3::ZERO, R1, R2, ringCount, coneProfile, false);
    addRings(mesh, bottom, Ogre::Vector3::ZERO, R1, R2, ringCount, coneProfile, true);
    // Mantle: rows of the rim's 96 columns from the bottom cap to the top one.
    const int columns = 6 * ringCount;
    const int rows = ringCount;
    const std::uint32_t first = mesh.next();
    for (int row = 0; row <= rows; ++row) {
        const float t = static_cast<float>(row) / rows;
        const Ogre::Vector3 centre = row == rows ? top : bottom + (top - bottom) * t;
        for (int m = 0; m < columns; ++m)
            mesh.addVertex(rimPoint(centre, R1, R2, m, ringCount), static_cast<float>(m) / columns, 1.0f - t);
    }
    for (int row = 0; row < rows; ++row)
        for (int m = 0; m < columns; ++m) {
            const std::uint32_t p = first + static_cast<std::uint32_t>(row * columns + m);
            const std::uint32_t q = first + static_cast<std::uint32_t>(row * columns + (m + 1) % columns);
            mesh.addFace(p, q, p + columns, false);
            mesh.addFace(q + columns, p + columns, q, false);
        }
}

void buildTorus(MeshLists& mesh) {
    constexpr int rings = 80;
    constexpr int perRing = 32;
    constexpr float major = 2.0f;
    constexpr float minor = 1.0f;
    for (int i = 0; i < rings; ++i) {
        const float theta = 2.0f * Ogre::Math::PI * i / rings;
        for (int j = 0; j < perRing; ++j) {
            const float phi = 2.0f * Ogre::Math::PI * j / perRing + i * Ogre::Math::PI / perRing;
            const float reach = major + minor * std::sin(phi);
            mesh.addVertex(Ogre::Vector3(std::sin(theta) * reach, std::cos(theta) * reach,
                                         minor * std::cos(phi)),
                           static_cast<float>(i) / rings, static_cast<float>(j) / perRing);
        }
    }
    // The half-step turn per ring adds up to 8 steps once round the torus,
    // so the last ring joins ring 0 shifted by 8.
    for (int i = 0; i < rings; ++i) {
        const bool last = i == rings - 1;
        const auto c = [&](int j) { return static_cast<std::uint32_t>(perRing * i + j % perRing); };
        const auto n = [&](int j) {
            return last ? static_cast<std::uint32_t>((j + 8) % perRing)
                        : static_cast<std::uint32_t>(perRing * (i + 1) + j % perRing);
        };
        for (int j = 0; j < perRing; ++j) {
            mesh.addFace(c(j), n(j), c(j + 1), false);
            mesh.addFace(n(j + 1), c(j + 1), n(j), false);
        }
    }
}

} // namespace

std::unique_ptr<DynamicMesh> MeshEditor::createNewDynamicMesh(int type,
                                                               const Ogre::ColourValue& colour) {
    MeshLists mesh;
    mesh.colour = colour;
    switch (type) {
    case 0: buildPlane(mesh); break;
    case 1: buildCube(mesh); break;
    case 2: buildSphere(mesh); break;
    case 3: buildCone(mesh); break;
    case 4: buildCylinder(mesh); break;
    case 5: buildTorus(mesh); break;
    default:
        throw Exception(ErrorCode::UnknownObjectType, "Unknown object type", "Kiln::MeshEditor::createNewDynamicMesh()");
    }
    return std::make_unique<DynamicMesh>(std::move(mesh.vertices), std::move(mesh.faces));
}

} // namespace Kiln
