#pragma once
// STL exchange: text and binary import (welded, one object per connected
// piece, colours from the facet attribute), binary and text export of the
// visible objects in world coordinates.
#include "io/FileFormat.h"

#include <cstdint>
#include <string>

namespace Kiln {

/// Reads an STL image (text when it starts with "solid" and its size does
/// not match a binary file's) into new objects under `root`.
void readStl(const std::uint8_t* data, std::size_t size, ObjectGroup& root, IObjectFactory& factory);
/// True when `data` is read as text STL.
bool isTextStl(const std::uint8_t* data, std::size_t size);

/// The 80 header bytes every binary export starts with.
std::string stlBinaryHeader();
std::string writeStlBinary(const ObjectGroup& root, ITextureMaterials* textures = nullptr);
std::string writeStlText(const ObjectGroup& root, const std::string& solidName);

class ImportStl : public ImportFileFormat {
public:
    bool load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) override;
    std::string getShortName() const override { return "STL"; }
    std::string getFilter() const override { return "STL File (*.stl)|*.stl|"; }
};

class ExportStlBinary : public ExportFileFormat {
public:
    bool save(const ObjectGroup& root, const std::string& path) override;
    std::string getShortName() const override { return "STL"; }
    std::string getFilter() const override { return "STL Binary (*.stl)|*.stl|"; }
};

class ExportStlAscii : public ExportFileFormat {
public:
    bool save(const ObjectGroup& root, const std::string& path) override;
    std::string getShortName() const override { return "STL"; }
    std::string getFilter() const override { return "STL Text (*.stl)|*.stl|"; }
};

} // namespace Kiln
