#pragma once
// Wavefront OBJ exchange: import of polygons (fanned into triangles) with
// texture coordinates and MTL colours, one soup per material section;
// export of the visible objects' world positions and triangles.
#include "io/FileFormat.h"

#include <functional>
#include <string>

namespace Kiln {

/// Returns the text of a material library named in the file, or false when
/// it cannot be read (the section then keeps the default colour).
using MaterialLibraryLoader = std::function<bool(const std::string& name, std::string& text)>;

/// Reads an OBJ text into new objects under `root`. Throws Kiln::Exception
/// (code 4) for a face that refers to a vertex not defined.
void readObj(std::string_view text, ObjectGroup& root, IObjectFactory& factory,
             const MaterialLibraryLoader& loadLibrary = {}, ITextureMaterials* textures = nullptr,
             const std::string& directory = {});
std::string writeObj(const ObjectGroup& root, const std::string& path);

class ImportObj : public ImportFileFormat {
public:
    bool load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) override;
    std::string getShortName() const override { return "OBJ"; }
    std::string getFilter() const override { return "OBJ Files (*.obj)|*.obj|"; }
};

class ExportObj : public ExportFileFormat {
public:
    bool save(const ObjectGroup& root, const std::string& path) override;
    std::string getShortName() const override { return "OBJ"; }
    std::string getFilter() const override { return "OBJ File (*.obj)|*.obj|"; }
};

} // namespace Kiln
