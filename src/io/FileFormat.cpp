#include "io/FileFormat.h"

namespace Kiln {

bool isTextureMaterialName(const std::string& name) {
    const std::size_t dot = name.find_last_of('.');
    return dot != std::string::npos && dot > 1;
}

namespace {

void collect(const ObjectGroup& node, ExportCollection& collection) {
    for (const auto& child : node.getChildren()) {
        if (!child->isVisible())
            continue;
        if (child->isObject() && child->getMesh()) {
            collection.objects.push_back(static_cast<const Object*>(child.get()));
            collection.faceCount += child->getMesh()->getFaceCount();
        }
        collect(*child, collection);
    }
}

} // namespace

ExportCollection collectExportObjects(const ObjectGroup& root) {
    ExportCollection collection;
    collect(root, collection);
    return collection;
}

std::string materialOf(const ObjectGroup& node) {
    return node.getParameterValue<std::string>("material").value_or(std::string());
}

} // namespace Kiln
