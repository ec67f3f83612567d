#include "functions/file/SceneContents.h"

#include "io/FileFormat.h"
#include "io/FormatRegistry.h"
#include "io/Stl.h"
#include "scene/ObjectGroup.h"

#include <cctype>
#include <stdexcept>

namespace scenefiles {

namespace {

std::string extensionFor(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return path.substr(dot + 1);
}

void exportGroup(const Kiln::ObjectGroup& group, const std::string& path, StlKind stl = StlKind::Binary) {
    const Kiln::ExportRegistry registry = Kiln::makeExportRegistry();
    // The text STL writer sits behind the binary one under "stl".
    const std::shared_ptr<Kiln::ExportFileFormat> format =
        stl == StlKind::Text && isStlPath(path) ? std::make_shared<Kiln::ExportStlAscii>()
                                                : registry.find(extensionFor(path));
    if (!format)
        throw std::runtime_error("No format writes files named '" + path + "'.");
    if (!format->save(group, path))
        throw std::runtime_error("The file could not be written.");
}

/// A stand-in for the scene root at the origin, scale 1.
std::unique_ptr<Kiln::ObjectGroup> neutralRoot(std::unique_ptr<Kiln::ObjectGroup> root) {
    root->setTransform(Ogre::Vector3::ZERO, Ogre::Quaternion::IDENTITY, Ogre::Vector3::UNIT_SCALE);
    root->updateTransform();
    return root;
}

template <typename Registry>
std::string filtersOf(const Registry& registry) {
    std::string filters;
    for (const auto& format : registry.getAllFormats())
        filters += format->getFilter();
    return filters;
}

} // namespace

void writeSceneContents(const Kiln::ObjectGroup& root, const std::string& path) {
    exportGroup(*neutralRoot(root.cloneWithoutPresenters()), path);
}

bool isStlPath(const std::string& path) {
    const std::string extension = extensionFor(path);
    return extension.size() == 3 && std::tolower(static_cast<unsigned char>(extension[0])) == 's' &&
           std::tolower(static_cast<unsigned char>(extension[1])) == 't' &&
           std::tolower(static_cast<unsigned char>(extension[2])) == 'l';
}

void writeItems(const std::vector<Kiln::ObjectHandle>& items, const std::string& path, StlKind stl) {
    auto group = neutralRoot(std::make_unique<Kiln::ObjectGroup>());
    for (const Kiln::ObjectHandle& item : items)
        if (const Kiln::ObjectGroup* node = item.get()) {
            std::unique_ptr<Kiln::ObjectGroup> copy = node->cloneWithoutPresenters();
            group->addChild(copy);
        }
    group->updateTransform();
    exportGroup(*group, path, stl);
}

std::unique_ptr<Kiln::ObjectGroup> readSceneFile(const std::string& path, Kiln::IObjectFactory& factory) {
    const Kiln::ImportRegistry registry = Kiln::makeImportRegistry();
    const auto format = registry.find(extensionFor(path));
    if (!format)
        throw std::runtime_error("No format reads files named '" + path + "'.");
    auto loaded = std::make_unique<Kiln::ObjectGroup>();
    if (!format->load(path, *loaded, factory))
        throw std::runtime_error("The file could not be read.");
    return loaded;
}

std::vector<Kiln::ObjectHandle> moveChildren(Kiln::ObjectGroup& from, Kiln::ObjectGroup& to) {
    std::vector<Kiln::ObjectGroup*> children;
    for (const auto& child : from.getChildren())
        children.push_back(child.get());
    std::vector<Kiln::ObjectHandle> moved;
    for (Kiln::ObjectGroup* child : children) {
        to.takeChild(child);
        moved.push_back(child->getHandle());
    }
    return moved;
}

std::string withSceneExtension(const std::string& path) {
    return extensionFor(path).empty() ? path + ".cr8" : path;
}

std::string sceneFilter() { return Kiln::makeExportRegistry().getAllFormats().front()->getFilter(); }
std::string importFilters() { return filtersOf(Kiln::makeImportRegistry()); }
std::string exportFilters() { return filtersOf(Kiln::makeExportRegistry()); }

} // namespace scenefiles
