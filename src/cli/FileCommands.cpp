// primitive, convert and info: making, converting and measuring files.
#include "cli/Command.h"

#include "io/SceneFiles.h"
#include "mesh/MeshEditor.h"
#include "mesh/MeshMeasures.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace cli {

namespace {

const char* const primitiveNames[] = {"plane", "cube", "sphere", "cone", "cylinder", "torus"};

int primitiveType(const std::string& name) {
    for (int type = 0; type < 6; ++type)
        if (name == primitiveNames[type])
            return type;
    throw UsageError("unknown primitive '" + name + "' (use plane, cube, sphere, cone, cylinder or torus)");
}

int runPrimitive(const Arguments& args) {
    std::vector<std::string> flags;
    const Arguments positional = positionalArguments(args, {}, flags);
    expectCount(positional, 2);
    const int type = primitiveType(positional[0]);
    const std::string& out = positional[1];
    Kiln::ObjectGroup root;
    auto object = std::make_unique<Kiln::Object>();
    object->setMesh(Kiln::MeshEditor::createNewDynamicMesh(type, Ogre::ColourValue::White));
    object->setParameter("material", "defaultMaterial");
    object->setParameter("castShadows", true);
    root.adoptChild(std::move(object));
    onFile(out, [&] { Kiln::exportSceneFile(root, out); });
    return 0;
}

int runConvert(const Arguments& args) {
    std::vector<std::string> flags;
    const Arguments positional = positionalArguments(args, {}, flags);
    expectCount(positional, 2);
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    onFile(positional[0], [&] { Kiln::importSceneFile(positional[0], root, factory); });
    onFile(positional[1], [&] { Kiln::exportSceneFile(root, positional[1]); });
    return 0;
}

struct ObjectMeasures {
    std::size_t vertices = 0;
    std::size_t faces = 0;
    bool closed = true;
    double volume = 0;
    Ogre::AxisAlignedBox box;
};

void measureTree(const Kiln::ObjectGroup& node, std::vector<ObjectMeasures>& measures) {
    for (const auto& child : node.getChildren()) {
        if (child->isObject()) {
            ObjectMeasures m;
            if (const Kiln::DynamicMesh* mesh = child->getMesh()) {
                m.vertices = mesh->getVertexCount();
                m.faces = mesh->getFaceCount();
                m.closed = Kiln::isClosed(*mesh);
                m.volume = Kiln::signedVolume(*mesh, child->getWorldMatrix());
                m.box = Kiln::bounds(*mesh, child->getWorldMatrix());
            }
            measures.push_back(m);
        }
        measureTree(*child, measures);
    }
}

// JSON has no NaN or infinity: such values print as null.
std::string number(double value) {
    if (!std::isfinite(value))
        return "null";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

std::string point(const Ogre::Vector3& p, const char* open, const char* separator, const char* close) {
    return open + number(p.x) + separator + number(p.y) + separator + number(p.z) + close;
}

void printJson(std::ostream& out, const std::vector<ObjectMeasures>& measures) {
    std::size_t vertices = 0, faces = 0;
    out << "{\"objects\": [";
    for (std::size_t i = 0; i < measures.size(); ++i) {
        const ObjectMeasures& m = measures[i];
        vertices += m.vertices;
        faces += m.faces;
        out << (i ? ", " : "") << "{\"vertices\": " << m.vertices << ", \"faces\": " << m.faces
            << ", \"closed\": " << (m.closed ? "true" : "false") << ", \"volume\": " << number(m.volume)
            << ", \"bbox\": ";
        if (m.box.isNull())
            out << "null";
        else
            out << "[" << point(m.box.getMinimum(), "[", ", ", "]") << ", " << point(m.box.getMaximum(), "[", ", ", "]")
                << "]";
        out << "}";
    }
    out << "], \"totals\": {\"objects\": " << measures.size() << ", \"vertices\": " << vertices
        << ", \"faces\": " << faces << "}}\n";
}

void printText(std::ostream& out, const std::vector<ObjectMeasures>& measures) {
    std::size_t vertices = 0, faces = 0;
    for (std::size_t i = 0; i < measures.size(); ++i) {
        const ObjectMeasures& m = measures[i];
        vertices += m.vertices;
        faces += m.faces;
        out << "object " << i + 1 << ": " << m.vertices << " vertices, " << m.faces << " faces, "
            << (m.closed ? "closed" : "open") << ", volume " << number(m.volume) << ", bounds ";
        if (m.box.isNull())
            out << "empty\n";
        else
            out << point(m.box.getMinimum(), "(", " ", ")") << " to " << point(m.box.getMaximum(), "(", " ", ")")
                << "\n";
    }
    out << "total: " << measures.size() << " objects, " << vertices << " vertices, " << faces << " faces\n";
}

int runInfo(const Arguments& args) {
    std::vector<std::string> flags;
    const Arguments positional = positionalArguments(args, {"--json"}, flags);
    expectCount(positional, 1);
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    std::vector<ObjectMeasures> measures;
    onFile(positional[0], [&] {
        Kiln::importSceneFile(positional[0], root, factory);
        measureTree(root, measures);
    });
    std::ostringstream text;
    if (flags.empty())
        printText(text, measures);
    else
        printJson(text, measures);
    std::cout << text.str();
    return 0;
}

const CommandRegistration primitive{{"primitive", "primitive TYPE OUT",
                                     "Write a primitive (plane, cube, sphere, cone, cylinder, torus) to OUT "
                                     "(.cr8, .stl, .obj or .wrl)",
                                     runPrimitive}};
const CommandRegistration convert{
    {"convert", "convert IN OUT", "Import IN (.cr8, .stl, .obj) and export it as OUT (.cr8, .stl, .obj, .wrl)",
     runConvert}};
const CommandRegistration info{{"info", "info FILE [--json]",
                                "Per object: vertex and face counts, closedness, volume and world bounds",
                                runInfo}};

} // namespace

} // namespace cli
