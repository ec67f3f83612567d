#include "io/Obj.h"

#include "IoTestSupport.h"
#include "mesh/MeshMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

using namespace Kiln;
using namespace iotest;

namespace {

void read(ObjectGroup& root, const std::string& text, const MaterialLibraryLoader& libraries = {}) {
    PlainObjectFactory factory;
    readObj(text, root, factory, libraries);
}


} // namespace

TEST(Obj, PolygonsBecomeFansAndNegativeIndicesCountBack) {
    ObjectGroup root;
    read(root, "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n"
               "v 5 0 0\nv 6 0 0\nv 6 1 0\nF -3/1 -2//7 -1/1/1\n");
    ASSERT_EQ(2u, root.getChildren().size());
    const DynamicMesh& quad = *objectAt(root, 0).getMesh();
    EXPECT_EQ((std::vector<Face>{{0, 1, 2}, {0, 2, 3}}), quad.getFaces());
    const DynamicMesh& triangle = *objectAt(root, 1).getMesh();
    EXPECT_EQ(3u, triangle.getVertexCount());
    // -3 is the first of the three vertices listed so far after the quad's.
    const Ogre::Vector3 corner = objectAt(root, 1).getPosition() + triangle.getVertex(0).position;
    EXPECT_FLOAT_EQ(5.0f, corner.x);
    EXPECT_FLOAT_EQ(0.0f, corner.y);
}

TEST(Obj, MaterialSectionsTakeLibraryColoursAndTextureCoordinates) {
    const std::string library = "newmtl red\nKa 0.1 0.1 0.1\nKd 1 0 0\nnewmtl ambientOnly\nKa 0 0 1\n"
                                "newmtl wood\nmap_Kd wood.png\n";
    std::vector<std::string> asked;
    const MaterialLibraryLoader loader = [&](const std::string& name, std::string& text) {
        asked.push_back(name);
        text = library;
        return true;
    };
    ObjectGroup root;
    read(root,
         "mtllib colours.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.25 0.75\nvt 1 0\nvt 0 1\n"
         "usemtl red\nf 1/1 2/2 3/3\nusemtl ambientOnly\nf 1 2 3\nusemtl wood\nf 1 2 3\nusemtl unknown\nf 1 2 3\n",
         loader);
    EXPECT_EQ((std::vector<std::string>{"colours.mtl"}), asked);
    ASSERT_EQ(4u, root.getChildren().size());
    const Vertex& red = objectAt(root, 0).getMesh()->getVertex(0);
    EXPECT_EQ(Ogre::ColourValue(1, 0, 0, 1), red.colour);
    EXPECT_EQ(0.25f, red.u);
    EXPECT_EQ(0.75f, red.v);
    EXPECT_EQ(Ogre::ColourValue(0, 0, 1, 1), objectAt(root, 1).getMesh()->getVertex(0).colour);
    EXPECT_EQ(std::string("wood.png"), objectAt(root, 2).getParameterValue<std::string>("material"));
    EXPECT_EQ(Ogre::ColourValue(0.5f, 0.5f, 0.5f, 1), objectAt(root, 3).getMesh()->getVertex(0).colour);
    EXPECT_EQ(std::string("defaultMaterial"), objectAt(root, 3).getParameterValue<std::string>("material"));
}

TEST(Obj, BadIndicesAreErrorsAndAddNothing) {
    ObjectGroup root;
    EXPECT_EQ("Line 3: the face refers to vertex '4' but 2 vertices are defined.",
              messageOf([&] { read(root, "v 0 0 0\nv 1 0 0\nf 1 2 4\nv 0 1 0\n"); }));
    EXPECT_NE("(no exception)", messageOf([&] { read(root, "v 0 0 0\nf 1 -2 1\n"); }));
    EXPECT_NE("(no exception)", messageOf([&] { read(root, "v 0 0 0\nf 1 0 1\n"); }));
    EXPECT_NE("(no exception)", messageOf([&] { read(root, "v 0 0 0\nf 1 x 1\n"); }));
    EXPECT_TRUE(root.getChildren().empty());
    // Lines too short to be polygons, comments and unknown keywords are skipped.
    read(root, "# comment\nv 0 0 0\nv 1 0 0\nf 1 2\ng group\nvn 0 0 1\nfoo bar\n");
    EXPECT_TRUE(root.getChildren().empty());
}

TEST(Obj, LargeFilesImportCompletely) {
    // A 400 x 400 grid: 160801 vertices, 320000 triangles, as quads.
    const int n = 400;
    std::ostringstream text;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            text << "v " << i << " " << j << " 0\n";
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int p = j * (n + 1) + i + 1;
            text << "f " << p << " " << p + 1 << " " << p + n + 2 << " " << p + n + 1 << "\n";
        }
    ObjectGroup root;
    read(root, text.str());
    ASSERT_EQ(1u, root.getChildren().size());
    EXPECT_EQ(160801u, objectAt(root, 0).getMesh()->getVertexCount());
    EXPECT_EQ(320000u, objectAt(root, 0).getMesh()->getFaceCount());
}

TEST(Obj, ExportLayoutAndRoundTrip) {
    ObjectGroup root;
    Object* box = addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3(1, 2, 3));
    box->setPosition(Ogre::Vector3(1, 0, 0));
    addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE)->setVisible(false);
    const std::string text = writeObj(root, "/tmp/box.obj");
    EXPECT_EQ(0u, text.find("# /tmp/box.obj created by Brevant Ltd.\n\n\nv 1.000000 0.000000 0.000000\n"));
    EXPECT_NE(std::string::npos, text.find("v 2.000000 2.000000 3.000000\n\nf 1 3 2\n"));
    EXPECT_EQ("\nf 4 8 6\n\n", text.substr(text.size() - 10));

    ObjectGroup loaded;
    read(loaded, text);
    ASSERT_EQ(1u, loaded.getChildren().size());
    const Object& object = objectAt(loaded, 0);
    EXPECT_TRUE(isClosed(*object.getMesh()));
    EXPECT_NEAR(6.0, signedVolume(*object.getMesh(), object.getWorldMatrix()), 1e-5);
    EXPECT_EQ(Ogre::Vector3(1.5f, 1, 1.5f), object.getPosition());
}

TEST(Obj, ExportReadsBackToTheSameFloatsAtAnyScale) {
    // Six decimals turned a cube of edge 1e-3 into a few distinct points.
    for (const float edge : {1e-3f, 3.3e-7f, 1.234567e9f}) {
        ObjectGroup root;
        Object* box = addBox(root, Ogre::Vector3(edge / 3, -edge, 7 * edge), Ogre::Vector3(edge, edge / 7, 8 * edge));
        box->setPosition(Ogre::Vector3(edge / 11, 0, 0));
        const std::string text = writeObj(root, "small.obj");
        // Every written coordinate parses back to the world position's float.
        const Ogre::Affine3 world(box->getWorldMatrix());
        std::istringstream lines(text);
        std::string line;
        std::size_t v = 0;
        while (std::getline(lines, line))
            if (line.rfind("v ", 0) == 0) {
                ASSERT_LT(v, box->getMesh()->getVertexCount());
                const Ogre::Vector3 expected = world * box->getMesh()->getVertex(v++).position;
                std::istringstream numbers(line.substr(2));
                for (int k = 0; k < 3; ++k) {
                    std::string word;
                    numbers >> word;
                    EXPECT_EQ(expected[k], std::strtof(word.c_str(), nullptr)) << edge << ": " << line;
                }
            }
        EXPECT_EQ(box->getMesh()->getVertexCount(), v);
        ObjectGroup loaded;
        read(loaded, text);
        ASSERT_EQ(1u, loaded.getChildren().size()) << edge;
        EXPECT_EQ(box->getMesh()->getVertexCount(), objectAt(loaded, 0).getMesh()->getVertexCount()) << edge;
    }
}

TEST(Obj, NonFiniteVerticesAndColoursAreRefusedByNumber) {
    ObjectGroup root;
    EXPECT_EQ("Line 3: vertex 3 has a coordinate that is not a finite number.",
              messageOf([&] { read(root, "v 0 0 0\nv 1 0 0\nv 0 nan 0\nf 1 2 3\n"); }));
    EXPECT_EQ("Line 1: vertex 1 has a coordinate that is not a finite number.",
              messageOf([&] { read(root, "v inf 0 0\n"); }));
    const MaterialLibraryLoader library = [](const std::string&, std::string& text) {
        text = "newmtl bad\nKd 1 nan 0\n";
        return true;
    };
    EXPECT_EQ("The colour of material 'bad' is not a finite number.",
              messageOf([&] { read(root, "mtllib m.mtl\nv 0 0 0\n", library); }));
    EXPECT_TRUE(root.getChildren().empty());
}

TEST(Obj, OneHugeFaceImportsAsOnePiece) {
    // A polygon of many corners is a fan around its first corner; every
    // triangle shares that vertex, which must not make import quadratic.
    const int corners = 20000;
    std::ostringstream text;
    for (int i = 0; i < corners; ++i)
        text << "v " << std::cos(2 * M_PI * i / corners) << ' ' << std::sin(2 * M_PI * i / corners) << " 0\n";
    text << 'f';
    for (int i = 1; i <= corners; ++i)
        text << ' ' << i;
    text << '\n';
    ObjectGroup root;
    read(root, text.str());
    ASSERT_EQ(1u, root.getChildren().size());
    EXPECT_EQ(static_cast<std::size_t>(corners - 2), objectAt(root, 0).getMesh()->getFaceCount());
}
