#include "io/FormatRegistry.h"

#include "IoTestSupport.h"
#include "io/FileBytes.h"
#include "io/SceneFiles.h"
#include "io/Stl.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>

using namespace Kiln;
using namespace iotest;

TEST(FormatRegistry, ExtensionsIgnoreCaseAndFirstRegistrationWins) {
    const ExportRegistry exports = makeExportRegistry();
    ASSERT_NE(nullptr, exports.find("STL"));
    EXPECT_EQ("STL Binary (*.stl)|*.stl|", exports.find("stl")->getFilter());
    EXPECT_EQ(5u, exports.getAllFormats().size());
    EXPECT_EQ(4u, exports.getFormats().size());
    EXPECT_EQ("wrl", exports.find("Wrl")->getShortName());
    EXPECT_EQ(nullptr, exports.find("ply"));
    const ImportRegistry imports = makeImportRegistry();
    EXPECT_EQ("CR8", imports.find("cR8")->getShortName());
    EXPECT_EQ(nullptr, imports.find("wrl"));
    EXPECT_EQ("obj", extensionOf("/a.b/file.OBJ"));
    EXPECT_EQ("", extensionOf("/a.b/file"));
}

// The extension a format's filter offers ("... (*.stl)|*.stl|" gives "stl").
std::string filterExtension(const std::string& filter) {
    const std::size_t star = filter.rfind("*.");
    const std::size_t bar = filter.find('|', star);
    return filter.substr(star + 2, bar - star - 2);
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(FormatRegistry, EveryFormatIsNamedAfterTheExtensionItHandles) {
    const ExportRegistry exports = makeExportRegistry();
    const ImportRegistry imports = makeImportRegistry();
    for (const auto& format : exports.getAllFormats())
        EXPECT_EQ(filterExtension(format->getFilter()), lowerCase(format->getShortName())) << format->getFilter();
    for (const auto& format : imports.getAllFormats())
        EXPECT_EQ(filterExtension(format->getFilter()), lowerCase(format->getShortName())) << format->getFilter();
}

TEST(SceneFiles, ConvertsByExtensionAndNeverLeavesHalfFiles) {
    ScratchFolder folder;
    ObjectGroup root;
    addBox(root, Ogre::Vector3::ZERO, Ogre::Vector3::UNIT_SCALE);
    const std::string target = folder.file("Box.STL");
    exportSceneFile(root, target);
    EXPECT_EQ(stlBinaryHeader(), readText(target).substr(0, 80));

    ObjectGroup loaded;
    PlainObjectFactory factory;
    importSceneFile(target, loaded, factory);
    EXPECT_EQ(1u, loaded.getChildren().size());
    EXPECT_THROW(importSceneFile(folder.file("box.wrl"), loaded, factory), Exception);

    // A failed save keeps the old file and leaves no temporary behind.
    const std::string before = readText(target);
    ::chmod(folder.path.c_str(), 0500);
    const bool writable = ::access(folder.path.c_str(), W_OK) == 0;  // root ignores modes
    if (!writable) {
        EXPECT_THROW(exportSceneFile(loaded, target), Exception);
        EXPECT_EQ(before, readText(target));
    }
    ::chmod(folder.path.c_str(), 0700);
    EXPECT_THROW(exportSceneFile(root, folder.file("box.ply")), Exception);
    std::filesystem::create_directory(folder.file("taken.obj"));
    EXPECT_THROW(exportSceneFile(root, folder.file("taken.obj")), Exception);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path))
        files += entry.is_regular_file();
    EXPECT_EQ(1u, files);
}
