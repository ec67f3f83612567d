#pragma once
// VRML 2.0 export: the tree as nested Transform nodes, each object as an
// IndexedFaceSet over its distinct world positions and colours.
#include "io/FileFormat.h"

namespace Kiln {

std::string writeVrml(const ObjectGroup& root);

class ExportVrml : public ExportFileFormat {
public:
    bool save(const ObjectGroup& root, const std::string& path) override;
    std::string getShortName() const override { return "wrl"; }
    std::string getFilter() const override { return "VRML File (*.wrl)|*.wrl|"; }
};

} // namespace Kiln
