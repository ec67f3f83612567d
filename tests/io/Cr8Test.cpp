#include "io/Cr8.h"

#include "IoTestSupport.h"
#include "io/FileBytes.h"
#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Kiln;
using namespace iotest;

namespace {

SerializerReadOptions plainOptions(IObjectFactory& factory) {
    SerializerReadOptions options;
    options.factory = &factory;
    return options;
}

std::string headerWithVersion(const std::string& version) {
    ByteWriter out;
    out.string("Brevant Framework");
    out.string(version);
    return out.getBytes();
}

// An empty root body: no children, identity transform, visible.
std::string emptyRootBody() {
    ByteWriter out;
    out.u32(0);
    for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 1.f, 1.f})
        out.f32(f);
    out.u8(1);
    return out.getBytes();
}


} // namespace

TEST(Cr8, EmptySceneBytes) {
    ObjectGroup root;
    const std::string bytes = writeCr8(root);
    EXPECT_EQ(headerWithVersion("2.1.0") + emptyRootBody(), bytes);
    EXPECT_EQ(4u + 17 + 4 + 5 + 4 + 40 + 1, bytes.size());
    EXPECT_EQ(17, bytes[0]);
}

TEST(Cr8, RoundTripKeepsMeshesExactlyAndColoursToEightBits) {
    ObjectGroup root;
    root.setPosition(Ogre::Vector3(0, 1, 0));
    auto group = std::make_unique<ObjectGroup>();
    group->setTransform(Ogre::Vector3(1, 2, 3), Ogre::Quaternion(Ogre::Degree(30), Ogre::Vector3::UNIT_Y),
                        Ogre::Vector3(2, 2, 2));
    auto object = std::make_unique<Object>();
    std::vector<Vertex> vertices;
    for (int i = 0; i < 256; ++i) {
        Vertex v = vertex(i * 0.1f, -i * 1e-7f, 3.0e7f + i * 4.0f, Ogre::ColourValue(i / 255.0f, 1 - i / 255.0f, 0.2f, 0.6f));
        v.u = i * 0.37f;
        v.v = -i * 1.5f;
        vertices.push_back(v);
    }
    std::vector<Face> faces;
    for (std::uint32_t i = 0; i + 2 < 256; ++i)
        faces.push_back(Face{i, 255 - i, (i * 7) % 256});
    object->setMesh(std::make_unique<DynamicMesh>(vertices, faces));
    object->setParameter("material", "defaultMaterial");
    object->setParameter("castShadows", true);
    object->setParameter("stiffness", 0.75f);
    group->adoptChild(std::move(object));
    root.adoptChild(std::move(group));

    const std::string bytes = writeCr8(root);
    ObjectGroup loaded;
    PlainObjectFactory factory;
    readCr8(bytesOf(bytes), bytes.size(), loaded, plainOptions(factory));

    EXPECT_EQ(Ogre::Vector3(0, 1, 0), loaded.getPosition());
    ASSERT_EQ(1u, loaded.getChildren().size());
    const ObjectGroup& loadedGroup = *loaded.getChildren()[0];
    EXPECT_EQ(root.getChildren()[0]->getOrientation(), loadedGroup.getOrientation());
    EXPECT_EQ(Ogre::Vector3(2, 2, 2), loadedGroup.getScale());
    const Object& loadedObject = objectAt(loadedGroup, 0);
    const DynamicMesh& mesh = *loadedObject.getMesh();
    EXPECT_EQ(faces, mesh.getFaces());
    ASSERT_EQ(vertices.size(), mesh.getVertexCount());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const Vertex& a = vertices[i];
        const Vertex& b = mesh.getVertices()[i];
        ASSERT_EQ(a.position, b.position) << i;
        ASSERT_EQ(a.u, b.u) << i;
        ASSERT_EQ(a.v, b.v) << i;
        // Each channel comes back as the nearest of the 256 steps.
        ASSERT_EQ(Ogre::ColourValue(i / 255.0f, (255 - i) / 255.0f, 51 / 255.0f, 153 / 255.0f), b.colour) << i;
    }
    EXPECT_EQ(0.75f, loadedObject.getParameterValue<float>("stiffness"));
    EXPECT_EQ(true, loadedObject.getParameterValue<bool>("castShadows"));
    EXPECT_EQ(std::string("defaultMaterial"), loadedObject.getParameterValue<std::string>("material"));
    // Saving what was loaded gives the same bytes: nothing drifts.
    EXPECT_EQ(bytes, writeCr8(loaded));
}

TEST(Cr8, HiddenNodesAreLeftOutAndEmptyGroupsDropped) {
    ObjectGroup root;
    addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE)->setVisible(false);
    auto group = std::make_unique<ObjectGroup>();
    addBox(*group, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE)->setVisible(false);
    root.adoptChild(std::move(group));
    addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);

    const std::string bytes = writeCr8(root);
    ObjectGroup loaded;
    PlainObjectFactory factory;
    readCr8(bytesOf(bytes), bytes.size(), loaded, plainOptions(factory));
    ASSERT_EQ(1u, loaded.getChildren().size());
    EXPECT_TRUE(loaded.getChildren()[0]->isObject());
    EXPECT_EQ(nullptr, loaded.getChildren()[0]->getParameter("stiffness"));
}

TEST(Cr8, VersionsAreComparedAfterPadding) {
    PlainObjectFactory factory;
    for (const char* accepted : {"2.1", "2.1.0.0"}) {
        const std::string bytes = headerWithVersion(accepted) + emptyRootBody();
        ObjectGroup root;
        EXPECT_NO_THROW(readCr8(bytesOf(bytes), bytes.size(), root, plainOptions(factory))) << accepted;
    }
    const std::string newer = headerWithVersion("2.1.1") + emptyRootBody();
    ObjectGroup root;
    EXPECT_EQ("Unknown/Unsupported serialisation version: 2.1.1",
              messageOf([&] { readCr8(bytesOf(newer), newer.size(), root, plainOptions(factory)); }));

    std::string foreign = emptyRootBody();
    ByteWriter header;
    header.string("Other Framework");
    header.string("2.1.0");
    foreign = header.getBytes() + foreign;
    EXPECT_EQ("The file is not of a recognizable format",
              messageOf([&] { readCr8(bytesOf(foreign), foreign.size(), root, plainOptions(factory)); }));
    const std::string stl = "solid cube\nendsolid cube\n";
    EXPECT_EQ("The file is not of a recognizable format",
              messageOf([&] { readCr8(bytesOf(stl), stl.size(), root, plainOptions(factory)); }));
}

TEST(Cr8, SurfaceValuesAreClampedAndOldGraphSectionsSkipped) {
    ByteWriter out;
    out.string("Brevant Framework");
    out.string("2.1.0");
    out.u32(1);
    out.string("Open object: ");
    out.string("Object");
    const std::string objectTransform = emptyRootBody();
    out.raw(objectTransform.data(), objectTransform.size());  // object's own group-body
    out.u8(1);
    out.string("Open object: ");
    out.string("HapticSimpleSurfaceInfo");
    out.u32(1);
    out.f32(-0.2f);
    out.f32(1.5f);
    out.string("Close object: ");
    out.string("HapticSimpleSurfaceInfo");
    out.string("Open object: ");
    out.string("DynamicMesh");
    out.u32(1);  // one vertex
    for (int i = 0; i < 6; ++i)
        out.f32(1.0f);
    out.u32(0xFF0000FFu);
    out.f32(0);
    out.f32(0);
    out.u32(1);  // one degenerate face
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.u8(1);  // an old connectivity section follows
    out.raw(std::string(17, 'x').data(), 17);
    out.u32(2);
    out.raw(std::string(9, 'y').data(), 9);
    out.string("wood.png");
    out.string("Close object: ");
    out.string("DynamicMesh");
    out.u8(0);
    out.string("Close object: ");
    out.string("Object");
    const std::string root = emptyRootBody();
    out.raw(root.data(), root.size());

    struct Textures : ITextureMaterials {
        std::vector<std::string> loaded;
        void loadTextureMaterial(const std::string& name, const std::string& directory) override {
            loaded.push_back(directory + name);
        }
        bool sampleColour(const std::string&, float, float, Ogre::ColourValue&) override { return false; }
    } textures;
    PlainObjectFactory factory;
    SerializerReadOptions options = plainOptions(factory);
    options.textures = &textures;
    options.directory = "/scenes/";
    ObjectGroup scene;
    readCr8(bytesOf(out.getBytes()), out.getBytes().size(), scene, options);
    const Object& object = objectAt(scene, 0);
    EXPECT_EQ(1.0f, object.getParameterValue<float>("stiffness"));
    EXPECT_EQ(false, object.getParameterValue<bool>("castShadows"));
    EXPECT_EQ(Ogre::ColourValue(1, 0, 0, 1), object.getMesh()->getVertex(0).colour);
    EXPECT_EQ((std::vector<std::string>{"/scenes/wood.png"}), textures.loaded);
}

TEST(Cr8, DamagedFilesFailCleanlyAndLeaveTheRootAlone) {
    ObjectGroup source;
    addBox(source, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
    auto group = std::make_unique<ObjectGroup>();
    addBox(*group, Ogre::Vector3(2, 2, 2), Ogre::Vector3(3, 3, 3))->setParameter("stiffness", 0.5f);
    source.adoptChild(std::move(group));
    source.setPosition(Ogre::Vector3(5, 5, 5));
    const std::string bytes = writeCr8(source);

    PlainObjectFactory factory;
    ObjectGroup target;
    addBox(target, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
    target.setPosition(Ogre::Vector3(1, 0, 0));
    // Every proper prefix of the file is an error; the target keeps its state.
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        try {
            readCr8(bytesOf(bytes), length, target, plainOptions(factory));
            FAIL() << "a file cut at " << length << " bytes was accepted";
        } catch (const Exception&) {
        }
        ASSERT_EQ(1u, target.getChildren().size());
        ASSERT_EQ(Ogre::Vector3(1, 0, 0), target.getPosition());
    }
    // Loading appends the file's children and takes its root transform.
    readCr8(bytesOf(bytes), bytes.size(), target, plainOptions(factory));
    EXPECT_EQ(3u, target.getChildren().size());
    EXPECT_EQ(Ogre::Vector3(5, 5, 5), target.getPosition());
}

TEST(Cr8, CountsBeyondTheFileAreErrorsNotAllocations) {
    PlainObjectFactory factory;
    ObjectGroup root;
    const auto read = [&](const std::string& bytes) {
        return messageOf([&] { readCr8(bytesOf(bytes), bytes.size(), root, plainOptions(factory)); });
    };
    // A string claiming 4 GB.
    EXPECT_EQ("The file is not of a recognizable format", read(std::string("\xff\xff\xff\xff", 4) + "Brevant"));
    ByteWriter mesh;
    mesh.u32(1);
    mesh.string("Open object: ");
    mesh.string("Object");
    const std::string body = emptyRootBody();
    mesh.raw(body.data(), body.size());
    mesh.u8(0);
    mesh.string("Open object: ");
    mesh.string("DynamicMesh");
    ByteWriter huge = mesh;
    huge.u32(100000000u);  // vertices the file cannot hold
    EXPECT_EQ("Unexpectedly reached end of file.", read(headerWithVersion("2.1.0") + huge.getBytes()));
    ByteWriter tooMany = mesh;
    tooMany.u32(119304648u);
    EXPECT_EQ("vector<T> too long", read(headerWithVersion("2.1.0") + tooMany.getBytes()));
    ByteWriter badFace = mesh;
    badFace.u32(0);
    badFace.u32(1);
    badFace.u32(0);
    badFace.u32(0);
    badFace.u32(0);
    EXPECT_EQ("A face refers to a vertex that does not exist.", read(headerWithVersion("2.1.0") + badFace.getBytes()));

    ByteWriter wrongKind;
    wrongKind.u32(1);
    wrongKind.string("Open object: ");
    wrongKind.string("Camera");
    EXPECT_EQ("Unexpected serializable object 'Camera' found by the Serializer[2.1.0] when expecting 'Object' or "
              "'ObjectGroup'.",
              read(headerWithVersion("2.1.0") + wrongKind.getBytes()));
    ByteWriter wrongTag;
    wrongTag.u32(1);
    wrongTag.string("Open thing: ");
    EXPECT_EQ("Unexpected 'OpenObject' tag", read(headerWithVersion("2.1.0") + wrongTag.getBytes()));
    EXPECT_EQ("Unexpectedly reached end of file.", read(headerWithVersion("2.1.0") + std::string("\x01\0\0\0", 4)));

    // Deep nesting is refused before it can exhaust the stack.
    ByteWriter deep;
    for (int i = 0; i < 100000; ++i) {
        deep.u32(1);
        deep.string("Open object: ");
        deep.string("ObjectGroup");
    }
    EXPECT_NE(std::string::npos, read(headerWithVersion("2.1.0") + deep.getBytes()).find("levels deep"));
    EXPECT_TRUE(root.getChildren().empty());
}

TEST(Cr8, FilesOnDisk) {
    ScratchFolder folder;
    const std::string path = folder.file("scene.cr8");
    ObjectGroup root;
    addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
    ExportCr8().save(root, path);
    ObjectGroup loaded;
    PlainObjectFactory factory;
    EXPECT_TRUE(ImportCr8().load(path, loaded, factory));
    EXPECT_TRUE(isClosed(*objectAt(loaded, 0).getMesh()));

    writeText(folder.file("empty.cr8"), "");
    EXPECT_EQ(folder.file("empty.cr8") + " appears to be empty. Please check the file again.",
              messageOf([&] { ImportCr8().load(folder.file("empty.cr8"), loaded, factory); }));
    EXPECT_EQ(0u, messageOf([&] { ImportCr8().load(folder.file("missing.cr8"), loaded, factory); })
                      .find("Failed to retrieve file information for "));
    EXPECT_EQ("Couldn't create/open file to save. Aborting saving to file.: No such file or directory",
              messageOf([&] { ExportCr8().save(root, folder.file("no/such/folder.cr8")); }));
}

namespace {

// Replaces the first occurrence of the float `marker` in `bytes`.
void replaceFloat(std::string& bytes, float marker, float replacement) {
    const std::string from(reinterpret_cast<const char*>(&marker), sizeof marker);
    const std::size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, sizeof replacement, reinterpret_cast<const char*>(&replacement), sizeof replacement);
}

} // namespace

TEST(Cr8, NonFiniteVerticesAndTransformsAreRefused) {
    // One NaN in a transform turns every vertex below it into NaN when the
    // object is re-centred; one in a vertex poisons every Boolean with it.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    PlainObjectFactory factory;
    for (const float bad : {nan, std::numeric_limits<float>::infinity()}) {
        ObjectGroup source;
        addBox(source, Ogre::Vector3(0.8125f, 0, 0), Ogre::Vector3::UNIT_SCALE)->setScale(Ogre::Vector3(1, 0.6875f, 1));
        const std::string bytes = writeCr8(source);

        std::string badVertex = bytes;
        replaceFloat(badVertex, 0.8125f, bad);
        ObjectGroup target;
        EXPECT_EQ("Vertex 1 has a coordinate that is not a finite number.",
                  messageOf([&] { readCr8(bytesOf(badVertex), badVertex.size(), target, plainOptions(factory)); }));

        std::string badScale = bytes;
        replaceFloat(badScale, 0.6875f, bad);
        EXPECT_EQ("The transform of a group holds a number that is not finite.",
                  messageOf([&] { readCr8(bytesOf(badScale), badScale.size(), target, plainOptions(factory)); }));
        EXPECT_TRUE(target.getChildren().empty());
    }
}
