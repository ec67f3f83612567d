#include "io/FormatRegistry.h"

#include "io/Cr8.h"
#include "io/Obj.h"
#include "io/Stl.h"
#include "io/Vrml.h"

#include <algorithm>
#include <cctype>

namespace Kiln {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

ImportRegistry makeImportRegistry() {
    ImportRegistry registry;
    registry.registerFormat("cr8", std::make_shared<ImportCr8>());
    registry.registerFormat("stl", std::make_shared<ImportStl>());
    registry.registerFormat("obj", std::make_shared<ImportObj>());
    return registry;
}

ExportRegistry makeExportRegistry() {
    ExportRegistry registry;
    registry.registerFormat("cr8", std::make_shared<ExportCr8>());
    registry.registerFormat("stl", std::make_shared<ExportStlBinary>());
    registry.registerFormat("stl", std::make_shared<ExportStlAscii>());
    registry.registerFormat("obj", std::make_shared<ExportObj>());
    registry.registerFormat("wrl", std::make_shared<ExportVrml>());
    return registry;
}

} // namespace Kiln
