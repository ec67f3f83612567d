#include "io/Vrml.h"

#include "io/FileBytes.h"

#include <algorithm>
#include <numeric>
#include <sstream>

namespace Kiln {

namespace {

// Sorts the items' indices and gives each run of equal items one distinct
// entry: returns the distinct items in sorted order and, per item, its
// entry's number.
template <typename T, typename Less>
std::vector<std::size_t> distinct(const std::vector<T>& items, Less less, std::vector<T>& unique) {
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return less(items[a], items[b]); });
    std::vector<std::size_t> entry(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i == 0 || less(items[order[i - 1]], items[order[i]]))
            unique.push_back(items[order[i]]);
        entry[order[i]] = unique.size() - 1;
    }
    return entry;
}

// Positions and colours (as r, g, b) both sort component by component.
bool lessTriple(const Ogre::Vector3& a, const Ogre::Vector3& b) {
    return std::lexicographical_compare(a.ptr(), a.ptr() + 3, b.ptr(), b.ptr() + 3);
}

void writeTriples(std::ostream& out, const std::vector<Ogre::Vector3>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        out << (i ? "," : "") << values[i].x << " " << values[i].y << " " << values[i].z << "\n";
}

void writeIndices(std::ostream& out, const std::vector<Face>& faces, const std::vector<std::size_t>& entry) {
    for (std::size_t i = 0; i < faces.size(); ++i)
        out << (i ? "," : "") << entry[faces[i].i0] << "," << entry[faces[i].i1] << "," << entry[faces[i].i2]
            << ",-1\n";
}

void writeObjectNode(std::ostream& out, const Object& object) {
    const DynamicMesh* mesh = object.getMesh();
    std::vector<Ogre::Vector3> positions, colours;
    if (mesh) {
        const Ogre::Affine3 world(object.getWorldMatrix());
        for (const Vertex& v : mesh->getVertices()) {
            positions.push_back(world * v.position);
            colours.emplace_back(v.colour.r, v.colour.g, v.colour.b);
        }
    }
    std::vector<Ogre::Vector3> points, palette;
    const std::vector<std::size_t> pointOf = distinct(positions, lessTriple, points);
    const std::vector<std::size_t> colourOf = distinct(colours, lessTriple, palette);
    static const std::vector<Face> noFaces;
    const std::vector<Face>& faces = mesh ? mesh->getFaces() : noFaces;

    out << "Transform {\nchildren [\nShape {\n geometry IndexedFaceSet {\n";
    out << "  coord Coordinate { point [\n";
    writeTriples(out, points);
    out << "  ] }\n  color Color { color [\n";
    writeTriples(out, palette);
    out << "  ] }\n  coordIndex [\n";
    writeIndices(out, faces, pointOf);
    out << "  ]\n  colorIndex [\n";
    writeIndices(out, faces, colourOf);
    out << "  ]\n  colorPerVertex TRUE\n }\n} ] }\n";
}

void writeGroupNode(std::ostream& out, const ObjectGroup& group) {
    out << "Transform {\nchildren [\n";
    for (const auto& child : group.getChildren()) {
        if (!child->isVisible())
            continue;
        if (child->isObject())
            writeObjectNode(out, static_cast<const Object&>(*child));
        else
            writeGroupNode(out, *child);
    }
    out << "] }\n";
}

} // namespace

std::string writeVrml(const ObjectGroup& root) {
    std::ostringstream out;
    out << "#VRML V2.0 utf8\n# created by Morvel from Brevant\n";
    writeGroupNode(out, root);
    return out.str();
}

bool ExportVrml::save(const ObjectGroup& root, const std::string& path) {
    writeFileAtomically(path, writeVrml(root), "Kiln::ExportVrml::save()", "Failed to open file '" + path + "'");
    return true;
}

} // namespace Kiln
