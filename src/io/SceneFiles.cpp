#include "io/SceneFiles.h"

#include "io/FileBytes.h"
#include "io/FormatRegistry.h"
#include "log/Exception.h"

namespace Kiln {

namespace {

template <typename Registry>
std::string extensionList(const Registry& registry) {
    std::string list;
    for (const auto& entry : registry.getFormats())
        list += (list.empty() ? "" : ", ") + entry.first;
    return list;
}

std::string unsupported(const std::string& path, const std::string& accepted) {
    const std::string extension = extensionOf(path);
    return (extension.empty() ? std::string("The file name has no extension")
                              : "Unsupported file type '." + extension + "'") +
           " (use " + accepted + ").";
}

} // namespace

void importSceneFile(const std::string& path, ObjectGroup& root, IObjectFactory& factory) {
    const ImportRegistry registry = makeImportRegistry();
    const auto format = registry.find(extensionOf(path));
    if (!format)
        throw Exception(ErrorCode::FileAccess, unsupported(path, extensionList(registry)), "Kiln::importSceneFile()");
    format->load(path, root, factory);
}

void exportSceneFile(const ObjectGroup& root, const std::string& path) {
    const ExportRegistry registry = makeExportRegistry();
    const auto format = registry.find(extensionOf(path));
    if (!format)
        throw Exception(ErrorCode::FileAccess, unsupported(path, extensionList(registry)), "Kiln::exportSceneFile()");
    format->save(root, path);
}

std::string importableExtensions() { return extensionList(makeImportRegistry()); }
std::string exportableExtensions() { return extensionList(makeExportRegistry()); }

} // namespace Kiln
