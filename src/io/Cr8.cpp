#include "io/Cr8.h"

#include "io/FileBytes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace Kiln {

namespace {

const char* const readLocation = "Kiln::readCr8()";
const char* const openLocation = "Kiln::Serializer::ReadOpenObjectTag()";
const char* const closeLocation = "Kiln::Serializer::ReadCloseObject()";
const char* const meshLocation = "Kiln::SerializerImpl_2_1::readDynamicMesh()";
const char* const groupLocation = "Kiln::SerializerImpl_2_1::readObjectGroup()";

const std::vector<int> supportedVersion{2, 1, 0};

std::vector<int> padded(std::vector<int> version, std::size_t length) {
    if (version.size() < length)
        version.resize(length, 0);
    return version;
}

std::vector<int> parseVersion(const std::string& text) {
    std::vector<int> version;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t dot = std::min(text.find('.', start), text.size());
        const int part = std::atoi(text.substr(start, dot - start).c_str());
        if (part != INT_MAX && part != INT_MIN)
            version.push_back(part);
        start = dot + 1;
    }
    return padded(version, 3);
}

float unitClamped(float value) { return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f); }

bool allFinite(const Ogre::Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// 8 bits per channel, rounded so that a colour read from a file is written
// back with the same bytes (truncation would darken it on every save).
std::uint32_t packRGBA(const Ogre::ColourValue& colour) {
    const auto channel = [](float value) {
        return static_cast<std::uint32_t>(unitClamped(value) * 255.0f + 0.5f);
    };
    return channel(colour.r) << 24 | channel(colour.g) << 16 | channel(colour.b) << 8 | channel(colour.a);
}

Ogre::ColourValue unpackRGBA(std::uint32_t packed) {
    Ogre::ColourValue colour;
    colour.setAsRGBA(packed);
    return colour;
}

} // namespace

// --- tags -------------------------------------------------------------------

std::string Serializer::getVersionText() const {
    std::string text;
    for (std::size_t i = 0; i < version.size(); ++i)
        text += (i ? "." : "") + std::to_string(version[i]);
    return text;
}

std::string Serializer::ReadOpenObjectTag(ByteReader& stream, const std::string& expected) {
    stream.setLocation(openLocation);
    if (stream.atEnd())
        throw Exception(ErrorCode::SceneFile, "Unexpectedly reached end of file.", openLocation);
    if (stream.string() != openTagKeyword())
        throw Exception(ErrorCode::SceneFile, "Unexpected 'OpenObject' tag", openLocation);
    std::string name = stream.string();
    if (!expected.empty() && name != expected)
        throw Exception(ErrorCode::SceneFile,
                        "Unexpected serializable object '" + name + "' found by the Serializer[" +
                            getVersionText() + "] when expecting '" + expected + "'.",
                        openLocation);
    stream.setLocation(readLocation);
    return name;
}

void Serializer::ReadCloseObject(ByteReader& stream, const std::string& expected) {
    stream.setLocation(closeLocation);
    if (stream.atEnd())
        throw Exception(ErrorCode::SceneFile, "Unexpectedly reached end of file.", closeLocation);
    const std::string keyword = stream.string();
    if (keyword != closeTagKeyword())
        throw Exception(ErrorCode::SceneFile, "Unexpected 'CloseObject' tag. Found '" + keyword + "' instead.", closeLocation);
    const std::string name = stream.string();
    if (name != expected)
        throw Exception(ErrorCode::SceneFile,
                        "Unexpected object name in stream (Found: '" + name + "' while expecting '" + expected +
                            "')",
                        closeLocation);
    stream.setLocation(readLocation);
}

void Serializer::WriteOpenObjectTag(ByteWriter& stream, const std::string& name) {
    stream.string(openTagKeyword());
    stream.string(name);
}

void Serializer::WriteCloseObject(ByteWriter& stream, const std::string& name) {
    stream.string(closeTagKeyword());
    stream.string(name);
}

// --- reading ----------------------------------------------------------------

SerializerImpl_2_1::SerializerImpl_2_1(SerializerReadOptions readOptions_, SerializerWriteOptions writeOptions_)
    : Serializer(supportedVersion), readOptions(std::move(readOptions_)), writeOptions(std::move(writeOptions_)) {}

void SerializerImpl_2_1::read(ObjectGroup& root, ByteReader& stream) {
    if (!readOptions.factory)
        throw Exception(ErrorCode::FileAccess, "No object factory given for reading.", "Kiln::SerializerImpl_2_1::read()");
    depth = 0;
    readObjectGroup(root, stream);
}

void SerializerImpl_2_1::readObjectGroup(ObjectGroup& group, ByteReader& stream) {
    if (++depth > maxDepth)
        throw Exception(ErrorCode::SceneFile, "The file nests groups more than " + std::to_string(maxDepth) + " levels deep.",
                        groupLocation);
    group.setTransform(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE);
    const std::uint32_t childCount = stream.u32();
    for (std::uint32_t i = 0; i < childCount; ++i) {
        const std::string kind = ReadOpenObjectTag(stream, "");
        if (kind == "ObjectGroup") {
            std::unique_ptr<ObjectGroup> child = readOptions.factory->createObjectGroup();
            readObjectGroup(*child, stream);
            if (!child->getChildren().empty())
                group.addChild(child);
        } else if (kind == "Object") {
            std::unique_ptr<Object> child = readOptions.factory->createObject();
            readObject(*child, stream);
            group.adoptChild(std::move(child));
        } else {
            throw Exception(ErrorCode::SceneFile,
                            "Unexpected serializable object '" + kind + "' found by the Serializer[" +
                                getVersionText() + "] when expecting 'Object' or 'ObjectGroup'.",
                            groupLocation);
        }
        ReadCloseObject(stream, kind);
    }
    Ogre::Vector3 position, scale;
    Ogre::Quaternion orientation;
    for (int k = 0; k < 3; ++k)
        position[k] = stream.f32();
    orientation.w = stream.f32();
    orientation.x = stream.f32();
    orientation.y = stream.f32();
    orientation.z = stream.f32();
    for (int k = 0; k < 3; ++k)
        scale[k] = stream.f32();
    // One non-finite number here turns every vertex below into NaN.
    if (allFinite(position) && allFinite(scale) && std::isfinite(orientation.w) && std::isfinite(orientation.x) && std::isfinite(orientation.y) &&
        std::isfinite(orientation.z)) {
        group.setTransform(position, orientation, scale);
    } else {
        throw Exception(ErrorCode::SceneFile,
                        "The transform of " + std::string(depth == 1 ? "the root group" : "a group") +
                            " holds a number that is not finite.",
                        groupLocation);
    }
    group.setVisible(stream.u8() == 1);
    --depth;
}

void SerializerImpl_2_1::readObject(Object& object, ByteReader& stream) {
    readObjectGroup(object, stream);
    if (stream.u8() == 1) {
        ReadOpenObjectTag(stream, "HapticSimpleSurfaceInfo");
        readSurfaceInfo(object, stream);
        ReadCloseObject(stream, "HapticSimpleSurfaceInfo");
    }
    ReadOpenObjectTag(stream, "DynamicMesh");
    std::unique_ptr<DynamicMesh> mesh = readDynamicMesh(stream);
    readMaterial(object, stream);
    ReadCloseObject(stream, "DynamicMesh");
    object.setMesh(std::move(mesh));
    object.setParameter("castShadows", stream.u8() == 1);
}

void SerializerImpl_2_1::readSurfaceInfo(Object& object, ByteReader& stream) {
    stream.u32();             // record version, always 1
    stream.f32();             // first surface value, unused
    // The haptics presenter binds "stiffness" and builds its surface from it.
    object.setParameter("stiffness", unitClamped(stream.f32()));
}

std::unique_ptr<DynamicMesh> SerializerImpl_2_1::readDynamicMesh(ByteReader& stream) {
    stream.setLocation(meshLocation);
    const std::uint32_t vertexCount = stream.u32();
    if (vertexCount > DynamicMesh::maxVertices)
        throw Exception(ErrorCode::SceneFile, "vector<T> too long", meshLocation);
    stream.require(vertexCount, 36);
    std::vector<Vertex> vertices(vertexCount);
    for (Vertex& v : vertices) {
        v.position.x = stream.f32();
        v.position.y = stream.f32();
        v.position.z = stream.f32();
        if (!allFinite(v.position))
            throw Exception(ErrorCode::SceneFile,
                            "Vertex " + std::to_string(&v - vertices.data() + 1) +
                                " has a coordinate that is not a finite number.",
                            meshLocation);
        stream.skip(12);  // the normal, recomputed by whoever needs it
        v.colour = unpackRGBA(stream.u32());
        v.u = stream.f32();
        v.v = stream.f32();
    }
    const std::uint32_t faceCount = stream.u32();
    if (faceCount > DynamicMesh::maxFaces)
        throw Exception(ErrorCode::SceneFile, "vector<T> too long", meshLocation);
    stream.require(faceCount, 12);
    std::vector<Face> faces(faceCount);
    for (Face& f : faces) {
        f.i0 = stream.u32();
        f.i1 = stream.u32();
        f.i2 = stream.u32();
        if (f.i0 >= vertexCount || f.i1 >= vertexCount || f.i2 >= vertexCount)
            throw Exception(ErrorCode::SceneFile, "A face refers to a vertex that does not exist.", meshLocation);
    }
    if (stream.u8() == 1) {  // connectivity from older writers: skipped
        stream.require(faceCount, 17);
        stream.skip(std::uint64_t(faceCount) * 17);
        for (std::uint32_t v = 0; v < vertexCount; ++v) {
            const std::uint32_t k = stream.u32();
            stream.skip(std::uint64_t(k) * 4 + 1);
        }
    }
    auto mesh = std::make_unique<DynamicMesh>();
    mesh->swapVertices(vertices);
    mesh->swapFaces(faces);
    stream.setLocation(readLocation);
    return mesh;
}

void SerializerImpl_2_1::readMaterial(Object& object, ByteReader& stream) {
    const std::string name = stream.string();
    object.setParameter("material", name);
    if (isTextureMaterialName(name) && readOptions.textures)
        readOptions.textures->loadTextureMaterial(name, readOptions.directory);
}

// --- writing ----------------------------------------------------------------

void SerializerImpl_2_1::write(const ObjectGroup& root, ByteWriter& stream) { writeObjectGroup(root, stream); }

void SerializerImpl_2_1::writeObjectGroup(const ObjectGroup& group, ByteWriter& stream) {
    std::vector<const ObjectGroup*> children;
    for (const auto& child : group.getChildren())
        if (!writeOptions.visibleOnly || child->isVisible())
            children.push_back(child.get());
    stream.u32(static_cast<std::uint32_t>(children.size()));
    for (const ObjectGroup* child : children) {
        const char* kind = child->isObject() ? "Object" : "ObjectGroup";
        WriteOpenObjectTag(stream, kind);
        writeChild(*child, stream);
        WriteCloseObject(stream, kind);
    }
    const Ogre::Vector3& position = group.getPosition();
    const Ogre::Quaternion& orientation = group.getOrientation();
    const Ogre::Vector3& scale = group.getScale();
    for (int k = 0; k < 3; ++k)
        stream.f32(position[k]);
    stream.f32(orientation.w);
    stream.f32(orientation.x);
    stream.f32(orientation.y);
    stream.f32(orientation.z);
    for (int k = 0; k < 3; ++k)
        stream.f32(scale[k]);
    stream.u8(group.isVisible() ? 1 : 0);
}

void SerializerImpl_2_1::writeChild(const ObjectGroup& child, ByteWriter& stream) {
    if (child.isObject())
        writeObject(static_cast<const Object&>(child), stream);
    else
        writeObjectGroup(child, stream);
}

void SerializerImpl_2_1::writeObject(const Object& object, ByteWriter& stream) {
    writeObjectGroup(object, stream);
    const std::optional<float> stiffness = object.getParameterValue<float>("stiffness");
    stream.u8(stiffness ? 1 : 0);
    if (stiffness) {
        WriteOpenObjectTag(stream, "HapticSimpleSurfaceInfo");
        writeSurfaceInfo(*stiffness, stream);
        WriteCloseObject(stream, "HapticSimpleSurfaceInfo");
    }
    WriteOpenObjectTag(stream, "DynamicMesh");
    static const DynamicMesh emptyMesh;
    writeDynamicMesh(object.getMesh() ? *object.getMesh() : emptyMesh, stream);
    writeMaterial(object, stream);
    WriteCloseObject(stream, "DynamicMesh");
    stream.u8(object.getParameterValue<bool>("castShadows").value_or(false) ? 1 : 0);
}

void SerializerImpl_2_1::writeSurfaceInfo(float stiffness, ByteWriter& stream) {
    stream.u32(1);
    stream.f32(0.0f);
    stream.f32(stiffness);
}

void SerializerImpl_2_1::writeDynamicMesh(const DynamicMesh& mesh, ByteWriter& stream) {
    const std::vector<Vertex>& vertices = mesh.getVertices();
    const std::vector<Face>& faces = mesh.getFaces();
    // Area-weighted vertex normals, for readers that want them.
    std::vector<Ogre::Vector3> normals(vertices.size(), Ogre::Vector3::ZERO);
    for (const Face& f : faces) {
        if (f.i0 >= vertices.size() || f.i1 >= vertices.size() || f.i2 >= vertices.size())
            continue;
        const Ogre::Vector3& p0 = vertices[f.i0].position;
        const Ogre::Vector3 n = (vertices[f.i1].position - p0).crossProduct(vertices[f.i2].position - p0);
        normals[f.i0] += n;
        normals[f.i1] += n;
        normals[f.i2] += n;
    }
    stream.reserve(stream.getBytes().size() + vertices.size() * 36 + faces.size() * 12 + 9);
    stream.u32(static_cast<std::uint32_t>(vertices.size()));
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Vertex& v = vertices[i];
        normals[i].normalise();
        for (int k = 0; k < 3; ++k)
            stream.f32(v.position[k]);
        for (int k = 0; k < 3; ++k)
            stream.f32(normals[i][k]);
        stream.u32(packRGBA(v.colour));
        stream.f32(v.u);
        stream.f32(v.v);
    }
    stream.u32(static_cast<std::uint32_t>(faces.size()));
    for (const Face& f : faces) {
        stream.u32(f.i0);
        stream.u32(f.i1);
        stream.u32(f.i2);
    }
    stream.u8(0);
}

void SerializerImpl_2_1::writeMaterial(const Object& object, ByteWriter& stream) {
    stream.string(materialOf(object));
}

// --- factory and file formats -----------------------------------------------

std::unique_ptr<Serializer> SerializerFactory::Create(const std::vector<int>& version,
                                                      SerializerReadOptions readOptions,
                                                      SerializerWriteOptions writeOptions) {
    const std::size_t length = std::max(version.size(), supportedVersion.size());
    if (padded(version, length) != padded(supportedVersion, length)) {
        std::string text;
        for (std::size_t i = 0; i < version.size(); ++i)
            text += (i ? "." : "") + std::to_string(version[i]);
        throw Exception(ErrorCode::InvalidValue, "Unknown/Unsupported serialisation version: " + text,
                        "Kiln::SerializerFactory::Create()");
    }
    return std::make_unique<SerializerImpl_2_1>(std::move(readOptions), std::move(writeOptions));
}

void readCr8(const std::uint8_t* data, std::size_t size, ObjectGroup& root, const SerializerReadOptions& options) {
    ByteReader stream(data, size, readLocation);
    std::string name, versionText;
    try {
        name = stream.string();
        versionText = stream.string();
    } catch (const Exception&) {
        throw Exception(ErrorCode::InvalidValue, "The file is not of a recognizable format", readLocation);
    }
    const std::unique_ptr<Serializer> serializer = SerializerFactory::Create(parseVersion(versionText), options);
    if (name != Serializer::frameworkName)
        throw Exception(ErrorCode::InvalidValue, "The file is not of a recognizable format", readLocation);

    // Read into a staging group so that a damaged file leaves `root` alone.
    ObjectGroup staging;
    serializer->read(staging, stream);

    root.setTransform(staging.getPosition(), staging.getOrientation(), staging.getScale());
    root.setVisible(staging.isVisible());
    std::vector<std::unique_ptr<ObjectGroup>> children;
    while (!staging.getChildren().empty()) {
        children.emplace_back();
        staging.removeChild(children.back(), staging.getChildren().back().get());
    }
    for (auto child = children.rbegin(); child != children.rend(); ++child)
        root.addChild(*child);
}

std::string writeCr8(const ObjectGroup& root) {
    const std::unique_ptr<Serializer> serializer = SerializerFactory::Create(supportedVersion);
    ByteWriter stream;
    stream.string(Serializer::frameworkName);
    stream.string(serializer->getVersionText());
    serializer->write(root, stream);
    return stream.getBytes();
}

bool ImportCr8::load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) {
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    SerializerReadOptions options;
    options.factory = &factory;
    options.textures = textures;
    options.directory = directoryOf(path);
    readCr8(bytes.data(), bytes.size(), root, options);
    return true;
}

bool ExportCr8::save(const ObjectGroup& root, const std::string& path) {
    writeFileAtomically(path, writeCr8(root), "Kiln::ExportCr8::save()",
                        "Couldn't create/open file to save. Aborting saving to file.");
    return true;
}

} // namespace Kiln
