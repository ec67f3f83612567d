#pragma once
// Small builders and a scratch folder shared by the file format tests.
#include "log/Exception.h"
#include "scene/Object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace iotest {

/// A fresh folder under the system temp folder, removed at the end.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() /
               ("morvel-io-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline const std::uint8_t* bytesOf(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

inline Kiln::Vertex vertex(float x, float y, float z, Ogre::ColourValue colour = Ogre::ColourValue::White) {
    Kiln::Vertex v;
    v.position = Ogre::Vector3(x, y, z);
    v.colour = colour;
    return v;
}

/// An axis-aligned box of 12 triangles wound outwards, as a welded mesh.
inline std::unique_ptr<Kiln::DynamicMesh> boxMesh(const Ogre::Vector3& low, const Ogre::Vector3& high) {
    std::vector<Kiln::Vertex> vertices;
    for (int i = 0; i < 8; ++i)
        vertices.push_back(vertex(i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z));
    const std::vector<Kiln::Face> faces{{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                        {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
    return std::make_unique<Kiln::DynamicMesh>(vertices, faces);
}

inline Kiln::Object* addBox(Kiln::ObjectGroup& parent, const Ogre::Vector3& low, const Ogre::Vector3& high) {
    auto object = std::make_unique<Kiln::Object>();
    object->setMesh(boxMesh(low, high));
    return parent.adoptChild(std::move(object));
}

inline const Kiln::Object& objectAt(const Kiln::ObjectGroup& root, std::size_t index) {
    return static_cast<const Kiln::Object&>(*root.getChildren().at(index));
}

/// The description of the Kiln::Exception `action` throws, or
/// "(no exception)".
inline std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Kiln::Exception& e) {
        return e.getDescription();
    }
    return "(no exception)";
}

} // namespace iotest
