#include "io/Stl.h"

#include "IoTestSupport.h"
#include "io/ByteReader.h"
#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Kiln;
using namespace iotest;

namespace {

struct Facet {
    Ogre::Vector3 a, b, c;
    std::uint16_t attribute = 0;
};

std::string binaryStl(const std::vector<Facet>& facets, std::string header = std::string(80, ' ')) {
    ByteWriter out;
    header.resize(80, ' ');
    out.raw(header.data(), 80);
    out.u32(static_cast<std::uint32_t>(facets.size()));
    for (const Facet& f : facets) {
        for (int k = 0; k < 3; ++k)
            out.f32(0);
        for (const Ogre::Vector3* p : {&f.a, &f.b, &f.c})
            for (int k = 0; k < 3; ++k)
                out.f32((*p)[k]);
        out.u16(f.attribute);
    }
    return out.getBytes();
}

std::vector<Facet> boxFacets(const Ogre::Vector3& low, const Ogre::Vector3& high) {
    const auto mesh = boxMesh(low, high);
    std::vector<Facet> facets;
    for (const Face& f : mesh->getFaces())
        facets.push_back({mesh->getVertex(f.i0).position, mesh->getVertex(f.i1).position,
                          mesh->getVertex(f.i2).position, 0});
    return facets;
}

ObjectGroup& read(ObjectGroup& root, const std::string& bytes) {
    PlainObjectFactory factory;
    readStl(bytesOf(bytes), bytes.size(), root, factory);
    return root;
}

} // namespace

TEST(Stl, ClosedBoxWeldsIntoOneObjectWithPivotAtItsCentre) {
    ObjectGroup root;
    std::vector<Facet> facets = boxFacets(Ogre::Vector3(0, 0, 0), Ogre::Vector3(2, 2, 2));
    const std::vector<Facet> second = boxFacets(Ogre::Vector3(10, 0, 0), Ogre::Vector3(11, 1, 1));
    facets.insert(facets.end(), second.begin(), second.end());
    read(root, binaryStl(facets));
    ASSERT_EQ(2u, root.getChildren().size());
    const Object& first = objectAt(root, 0);
    EXPECT_EQ(8u, first.getMesh()->getVertexCount());
    EXPECT_EQ(12u, first.getMesh()->getFaceCount());
    EXPECT_TRUE(isClosed(*first.getMesh()));
    EXPECT_EQ(Ogre::Vector3(1, 1, 1), first.getPosition());
    EXPECT_EQ(Ogre::Vector3(10.5f, 0.5f, 0.5f), objectAt(root, 1).getPosition());
    EXPECT_NEAR(8.0, signedVolume(*first.getMesh(), first.getWorldMatrix()), 1e-5);
    EXPECT_EQ(false, first.getParameterValue<bool>("castShadows"));
    EXPECT_EQ(std::string("defaultMaterial"), first.getParameterValue<std::string>("material"));
}

TEST(Stl, OnePieceNumbersVerticesInFirstUseOrderAndKeepsTheFirstColour) {
    // A closed tetrahedron whose facets carry different colours: a corner
    // shared by several facets keeps the colour of the first that names it.
    const Ogre::Vector3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(0, 0, 1);
    ObjectGroup root;
    read(root, binaryStl({{a, c, b, 0x7C00}, {a, b, d, 0x001F}, {a, d, c, 0x03E0}, {b, c, d, 0x001F}}));
    ASSERT_EQ(1u, root.getChildren().size());
    const DynamicMesh& mesh = *objectAt(root, 0).getMesh();
    EXPECT_TRUE(isClosed(mesh));
    ASSERT_EQ(4u, mesh.getVertexCount());
    EXPECT_EQ((std::vector<Face>{{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {2, 1, 3}}), mesh.getFaces());
    const Ogre::ColourValue red(1, 0, 0, 1), blue(0, 0, 1, 1);
    EXPECT_EQ(blue, mesh.getVertex(0).colour); // a: the first facet's
    EXPECT_EQ(blue, mesh.getVertex(2).colour); // b: also named first by the first facet
    EXPECT_EQ(red, mesh.getVertex(3).colour);  // d: first named by the second facet
}

TEST(Stl, TrianglesMeetingAtOneVertexAreSeparatePieces) {
    ObjectGroup root;
    const Ogre::Vector3 shared(0, 0, 0);
    read(root, binaryStl({{shared, {1, 0, 0}, {0, 1, 0}}, {shared, {-1, 0, 0}, {0, -1, 0}}}));
    ASSERT_EQ(2u, root.getChildren().size());
    EXPECT_EQ(3u, objectAt(root, 0).getMesh()->getVertexCount());
    EXPECT_EQ(3u, objectAt(root, 1).getMesh()->getVertexCount());
}

TEST(Stl, TwoPiecesTouchingAtAVertexEachGetTheirOwnCopy) {
    // Faces of two pieces interleave in the file around a shared corner.
    const Ogre::Vector3 o(0, 0, 0);
    ObjectGroup root;
    read(root, binaryStl({{o, {1, 0, 0}, {0, 1, 0}},
                          {o, {-1, 0, 0}, {0, -1, 0}},
                          {o, {0, 1, 0}, {-1, 1, 0}},
                          {o, {0, -1, 0}, {1, -1, 0}}}));
    ASSERT_EQ(2u, root.getChildren().size());
    EXPECT_EQ(4u, objectAt(root, 0).getMesh()->getVertexCount());
    EXPECT_EQ((std::vector<Face>{{0, 1, 2}, {0, 2, 3}}), objectAt(root, 0).getMesh()->getFaces());
    EXPECT_EQ(4u, objectAt(root, 1).getMesh()->getVertexCount());
}

TEST(Stl, AttributesSetColoursUntilTheNextValidOne) {
    ObjectGroup root;
    read(root, binaryStl({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0x7C00},
                          {{5, 0, 0}, {6, 0, 0}, {5, 1, 0}, 0x801F},
                          {{9, 0, 0}, {10, 0, 0}, {9, 1, 0}, 0x001F}}));
    ASSERT_EQ(3u, root.getChildren().size());
    EXPECT_EQ(Ogre::ColourValue(0, 0, 1, 1), objectAt(root, 0).getMesh()->getVertex(0).colour);
    EXPECT_EQ(Ogre::ColourValue(0, 0, 1, 1), objectAt(root, 1).getMesh()->getVertex(0).colour);
    EXPECT_EQ(Ogre::ColourValue(1, 0, 0, 1), objectAt(root, 2).getMesh()->getVertex(0).colour);

    // A file whose attributes are all zero has no colours: grey, not black.
    ObjectGroup plain;
    read(plain, binaryStl(boxFacets(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE)));
    EXPECT_EQ(Ogre::ColourValue(0.5f, 0.5f, 0.5f, 1), objectAt(plain, 0).getMesh()->getVertex(0).colour);
}

TEST(Stl, TextAndBinaryDetection) {
    const std::string text = "solid part\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n"
                             "   vertex 0 1 0\n  endloop\n endfacet\nendsolid part\n";
    EXPECT_TRUE(isTextStl(bytesOf(text), text.size()));
    ObjectGroup root;
    read(root, text);
    ASSERT_EQ(1u, root.getChildren().size());
    EXPECT_EQ(Ogre::ColourValue(0.5f, 0.5f, 0.5f, 1), objectAt(root, 0).getMesh()->getVertex(0).colour);

    // A binary file whose header starts with "solid" is still binary when
    // its size matches its facet count...
    const std::string binary = binaryStl({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0}}, "solid binary header");
    EXPECT_FALSE(isTextStl(bytesOf(binary), binary.size()));
    ObjectGroup fromBinary;
    read(fromBinary, binary);
    EXPECT_EQ(1u, fromBinary.getChildren().size());
    // ...and a short or empty file is neither.
    ObjectGroup none;
    EXPECT_THROW(read(none, std::string("soli")), Exception);
    EXPECT_TRUE(none.getChildren().empty());
}

TEST(Stl, BadFilesFailWithoutAddingAnything) {
    ObjectGroup root;
    std::string truncated = binaryStl(boxFacets(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE));
    truncated.resize(truncated.size() - 1);
    try {
        read(root, truncated);
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ("The STL file is cut short: it announces 12 triangles but holds only 11.", e.getDescription());
    }
    std::string claimsMillions = binaryStl({});
    claimsMillions[80] = claimsMillions[81] = claimsMillions[82] = '\x7f';
    EXPECT_THROW(read(root, claimsMillions), Exception);
    EXPECT_THROW(read(root, "solid x\nfacet normal 0 0 0\nouter loop\nvertex 0 zero 0\n"), Exception);
    EXPECT_THROW(read(root, "solid x\nfacet normal 0 0 0\nouter loop\nvertex 0 0 0\nendloop\nendfacet\n"), Exception);
    EXPECT_TRUE(root.getChildren().empty());
}

TEST(Stl, CutShortTextIsAnErrorNotASmallerMesh) {
    const std::string facet =
        "facet normal 0 0 0\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n";
    ObjectGroup root;
    EXPECT_EQ("The STL file is cut short: it ends inside facet 2.",
              messageOf([&] { read(root, "solid x\n" + facet + "facet normal 0 0 0\nouter loop\nvertex 0 0 0\n"); }));
    EXPECT_EQ("The STL file is cut short: it ends without 'endsolid'.",
              messageOf([&] { read(root, "solid x\n" + facet); }));
    EXPECT_TRUE(root.getChildren().empty());
    // A well-formed empty solid is no error.
    read(root, "solid x\nendsolid x\n");
    EXPECT_TRUE(root.getChildren().empty());
}

TEST(Stl, OldMacLineEndsReadLikeAnyOther) {
    const std::string facet =
        "facet normal 0 0 0\router loop\rvertex 0 0 0\rvertex 1 0 0\rvertex 0 1 0\rendloop\rendfacet\r";
    for (const char* end : {"\r", "\r\n", "\n"}) {
        std::string text = "solid x" + std::string(end) + facet + "endsolid x" + end;
        ObjectGroup root;
        read(root, text);
        ASSERT_EQ(1u, root.getChildren().size()) << end;
        EXPECT_EQ(1u, objectAt(root, 0).getMesh()->getFaceCount());
    }
    // Line numbers in messages count CR-only lines too.
    ObjectGroup root;
    EXPECT_EQ("Line 3: expected a number, found 'zero'.",
              messageOf([&] { read(root, "solid x\rfacet normal 0 0 0\router loop vertex 0 zero 0\r"); }));
}

TEST(Stl, SolidHeaderOnAMisSizedBinaryIsNamedAsSuch) {
    // A binary file starting with "solid" whose size is off by a few bytes
    // used to read as text with no facets: an empty scene and success.
    std::string binary = binaryStl(boxFacets(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE), "solid by a CAD program");
    binary += "xyz";
    ObjectGroup root;
    const std::string message = messageOf([&] { read(root, binary); });
    EXPECT_NE(message.find("starts with 'solid' but is not a text STL"), std::string::npos) << message;
    EXPECT_NE(message.find("12 triangles"), std::string::npos) << message;
    EXPECT_TRUE(root.getChildren().empty());
}

TEST(Stl, NonFiniteCoordinatesAreRefusedWithTheFacetNumber) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (const float bad : {nan, inf, -inf}) {
        std::vector<Facet> facets = boxFacets(Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
        facets[3].b.y = bad;
        ObjectGroup root;
        EXPECT_EQ("Facet 4 has a vertex coordinate that is not a finite number.",
                  messageOf([&] { read(root, binaryStl(facets)); }));
        EXPECT_TRUE(root.getChildren().empty());
    }
    for (const char* word : {"nan", "inf", "-inf", "1e39"}) {
        const std::string text = "solid x\nfacet normal 0 0 0\nouter loop\nvertex 0 0 0\nvertex 1 " +
                                 std::string(word) + " 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid\n";
        ObjectGroup root;
        const std::string message = messageOf([&] { read(root, text); });
        EXPECT_TRUE(message == "Line 5: facet 1 has a vertex coordinate that is not a finite number." ||
                    message.find("expected a number") != std::string::npos)
            << word << ": " << message;
    }
}

TEST(Stl, BinaryExportWritesVisibleWorldTrianglesWithColours) {
    ObjectGroup root;
    Object* hidden = addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
    hidden->setVisible(false);
    auto group = std::make_unique<ObjectGroup>();
    group->setPosition(Ogre::Vector3(10, 0, 0));
    Object* shown = addBox(*group, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
    addBox(*group, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE)->setVisible(false);
    root.adoptChild(std::move(group));
    std::vector<Vertex> blue = shown->getMesh()->getVertices();
    for (Vertex& v : blue)
        v.colour = Ogre::ColourValue::Blue;
    shown->getMesh()->setVertices(blue);

    const std::string bytes = writeStlBinary(root);
    EXPECT_EQ(stlBinaryHeader(), bytes.substr(0, 80));
    EXPECT_EQ(80u, stlBinaryHeader().size());
    EXPECT_EQ("COLOR=", stlBinaryHeader().substr(47, 6));
    EXPECT_EQ(84u + 12 * 50, bytes.size());
    ByteReader reader(bytesOf(bytes), bytes.size(), "test");
    reader.skip(84 + 12);
    EXPECT_EQ(10.0f, reader.f32());  // first corner, x, in world coordinates
    reader.skip(50 - 12 - 4 - 2);
    EXPECT_EQ(0x7C00, reader.u16());

    ObjectGroup loaded;
    read(loaded, bytes);
    ASSERT_EQ(1u, loaded.getChildren().size());
    EXPECT_EQ(Ogre::Vector3(10.5f, 0.5f, 0.5f), objectAt(loaded, 0).getPosition());
    EXPECT_EQ(Ogre::ColourValue::Blue, objectAt(loaded, 0).getMesh()->getVertex(0).colour);
}

TEST(Stl, TextExportLayout) {
    ObjectGroup root;
    auto object = std::make_unique<Object>();
    object->setMesh(std::make_unique<DynamicMesh>(
        std::vector<Vertex>{vertex(0, 0, 0), vertex(1.5f, 0, 0), vertex(0, 1.0f / 3, 0)},
        std::vector<Face>{{0, 1, 2}}));
    root.adoptChild(std::move(object));
    EXPECT_EQ("solid out.stl\n\tfacet normal 0 0 0\n\t\touter loop\n\t\t\tvertex 0 0 0\n\t\t\tvertex 1.5 0 0\n"
              "\t\t\tvertex 0 0.333333343 0\n\t\tendloop\n\tendfacet\nendsolid out.stl\n",
              writeStlText(root, "out.stl"));
    // Every coordinate reads back to the same float (1/3 needs nine digits).
    ObjectGroup loaded;
    read(loaded, writeStlText(root, "out.stl"));
    ASSERT_EQ(1u, loaded.getChildren().size());
    const Object& back = objectAt(loaded, 0);
    EXPECT_EQ(Ogre::Vector3(0, 1.0f / 3, 0), Ogre::Affine3(back.getWorldMatrix()) * back.getMesh()->getVertex(2).position);
}
