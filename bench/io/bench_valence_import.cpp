// Imports whose triangles all share one vertex: a two-million-triangle
// cone (rim fan and apex fan), a million zero-size triangles, and one OBJ
// face of a million corners. Welding and splitting into pieces must stay
// O(n log n) whatever the valence; the figures show it.
#include "io/ByteReader.h"
#include "io/Obj.h"
#include "io/Stl.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string binaryStl(std::size_t count, const std::function<void(std::size_t, float*)>& corners) {
    Kiln::ByteWriter out;
    out.reserve(84 + 50 * count);
    const std::string header(80, ' ');
    out.raw(header.data(), header.size());
    out.u32(static_cast<std::uint32_t>(count));
    float c[9];
    for (std::size_t i = 0; i < count; ++i) {
        corners(i, c);
        for (int k = 0; k < 3; ++k)
            out.f32(0);
        for (const float value : c)
            out.f32(value);
        out.u16(0);
    }
    return out.getBytes();
}

template <typename Import>
void report(const char* what, std::size_t triangles, Import&& import) {
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    const auto start = Clock::now();
    import(root, factory);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::size_t faces = 0;
    for (const auto& child : root.getChildren())
        faces += child->getMesh() ? child->getMesh()->getFaceCount() : 0;
    std::printf("%-40s %9zu triangles  %7.2f s  (%zu objects, %zu faces)\n", what, triangles, seconds,
                root.getChildren().size(), faces);
}

} // namespace

int main() {
    const std::size_t rim = 1000000;
    const std::string cone = binaryStl(2 * rim, [&](std::size_t i, float* c) {
        const std::size_t k = i / 2;
        const double a = 2 * M_PI * k / rim, b = 2 * M_PI * ((k + 1) % rim) / rim;
        const float p[3] = {float(std::cos(a)), float(std::sin(a)), 0}, q[3] = {float(std::cos(b)), float(std::sin(b)), 0};
        const float tip[3] = {0, 0, i % 2 ? 0.0f : 1.0f};
        const float* order[3] = {p, q, tip};
        if (i % 2)
            std::swap(order[0], order[1]);
        for (int v = 0; v < 3; ++v)
            for (int j = 0; j < 3; ++j)
                c[3 * v + j] = order[v][j];
    });
    report("cone, every triangle at the apex or centre", 2 * rim, [&](auto& root, auto& factory) {
        Kiln::readStl(reinterpret_cast<const std::uint8_t*>(cone.data()), cone.size(), root, factory);
    });

    const std::string zeros = binaryStl(1000000, [](std::size_t, float* c) { std::fill(c, c + 9, 0.0f); });
    report("zero-size triangles at one point", 1000000, [&](auto& root, auto& factory) {
        Kiln::readStl(reinterpret_cast<const std::uint8_t*>(zeros.data()), zeros.size(), root, factory);
    });

    const std::size_t corners = 1000000;
    std::string obj;
    obj.reserve(corners * 40);
    char line[96];
    for (std::size_t i = 0; i < corners; ++i) {
        const double a = 2 * M_PI * i / corners;
        std::snprintf(line, sizeof line, "v %.9g %.9g 0\n", std::cos(a), std::sin(a));
        obj += line;
    }
    obj += "f";
    for (std::size_t i = 1; i <= corners; ++i)
        obj += " " + std::to_string(i);
    obj += "\n";
    report("one OBJ face of a million corners", corners - 2,
           [&](auto& root, auto& factory) { Kiln::readObj(obj, root, factory, {}); });
    return 0;
}
