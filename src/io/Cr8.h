#pragma once
// The native scene format: a little-endian, length-prefixed tree of groups
// and objects with transforms, visibility, stiffness, mesh, material and
// shadow flag. Serializers are versioned; "2.1.0" is the only version.
#include "io/ByteReader.h"
#include "io/FileFormat.h"

#include <memory>
#include <string>
#include <vector>

namespace Kiln {

struct SerializerReadOptions {
    IObjectFactory* factory = nullptr;
    ITextureMaterials* textures = nullptr;
    std::string directory;  ///< where texture images named by materials live
};

struct SerializerWriteOptions {
    std::vector<int> version{2, 1, 0};
    bool visibleOnly = true;  ///< leave hidden nodes (and their subtrees) out
};

class Serializer {
public:
    static constexpr const char* frameworkName = "Brevant Framework";

    virtual ~Serializer() = default;
    /// Reads a group-body into `root`.
    virtual void read(ObjectGroup& root, ByteReader& stream) = 0;
    /// Writes the group-body of `root`.
    virtual void write(const ObjectGroup& root, ByteWriter& stream) = 0;

    static const char* openTagKeyword() { return "Open object: "; }
    static const char* closeTagKeyword() { return "Close object: "; }
    /// Reads an open tag and returns its name; with a non-empty `expected`
    /// any other name throws.
    std::string ReadOpenObjectTag(ByteReader& stream, const std::string& expected);
    void ReadCloseObject(ByteReader& stream, const std::string& expected);
    void WriteOpenObjectTag(ByteWriter& stream, const std::string& name);
    void WriteCloseObject(ByteWriter& stream, const std::string& name);

    /// The version joined with ".", e.g. "2.1.0".
    std::string getVersionText() const;

protected:
    explicit Serializer(std::vector<int> version_) : version(std::move(version_)) {}
    std::vector<int> version;
};

class SerializerImpl_2_1 : public Serializer {
public:
    /// Deepest nesting of groups a file may use; deeper files are refused
    /// before they can exhaust the stack.
    static constexpr int maxDepth = 256;

    SerializerImpl_2_1(SerializerReadOptions readOptions, SerializerWriteOptions writeOptions);

    void read(ObjectGroup& root, ByteReader& stream) override;
    void write(const ObjectGroup& root, ByteWriter& stream) override;

    void readObjectGroup(ObjectGroup& group, ByteReader& stream);
    void readObject(Object& object, ByteReader& stream);
    void readSurfaceInfo(Object& object, ByteReader& stream);
    std::unique_ptr<DynamicMesh> readDynamicMesh(ByteReader& stream);
    void readMaterial(Object& object, ByteReader& stream);
    void writeObjectGroup(const ObjectGroup& group, ByteWriter& stream);
    void writeObject(const Object& object, ByteWriter& stream);
    void writeSurfaceInfo(float stiffness, ByteWriter& stream);
    void writeDynamicMesh(const DynamicMesh& mesh, ByteWriter& stream);
    void writeMaterial(const Object& object, ByteWriter& stream);
    void writeChild(const ObjectGroup& child, ByteWriter& stream);

private:
    SerializerReadOptions readOptions;
    SerializerWriteOptions writeOptions;
    int depth = 0;
};

class SerializerFactory {
public:
    /// The serializer for `version` (shorter versions are padded with
    /// zeros). Throws Kiln::Exception (code 3) for an unsupported version.
    static std::unique_ptr<Serializer> Create(const std::vector<int>& version,
                                              SerializerReadOptions readOptions = {},
                                              SerializerWriteOptions writeOptions = {});
};

/// Reads a whole `.cr8` image into `root`: the root takes the file's
/// transform and visibility and gains its children. On any failure the
/// root is left exactly as it was.
void readCr8(const std::uint8_t* data, std::size_t size, ObjectGroup& root, const SerializerReadOptions& options);
/// The `.cr8` image of `root` (hidden nodes left out).
std::string writeCr8(const ObjectGroup& root);

class ImportCr8 : public ImportFileFormat {
public:
    bool load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) override;
    std::string getShortName() const override { return "CR8"; }
    std::string getFilter() const override { return "Vod8 file (*.cr8)|*.cr8|"; }
};

class ExportCr8 : public ExportFileFormat {
public:
    bool save(const ObjectGroup& root, const std::string& path) override;
    std::string getShortName() const override { return "CR8"; }
    std::string getFilter() const override { return "Vod8 File (*.cr8)|*.cr8|"; }
};

} // namespace Kiln
