#include "io/Stl.h"

#include "io/ByteReader.h"
#include "io/FileBytes.h"
#include "detail/FloatText.h"
#include "detail/TextScanner.h"
#include "detail/TriangleSoup.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Kiln {

namespace {

const char* const importLocation = "Kiln::ImportStl::load()";
const Ogre::ColourValue defaultColour(0.5f, 0.5f, 0.5f, 1.0f);
constexpr std::size_t headerSize = 80;
constexpr std::size_t facetSize = 50;

Vertex cornerAt(const Ogre::Vector3& position, const Ogre::ColourValue& colour) {
    Vertex v;
    v.position = position;
    v.colour = colour;
    return v;
}

std::string describeWord(std::string_view word) {
    return word.empty() ? std::string("end of file") : "'" + std::string(word.substr(0, 40)) + "'";
}

std::string atLine(const TextScanner& scanner) {
    return "Line " + std::to_string(scanner.getLine()) + ": ";
}

// Text STL, keyword by keyword: "vertex" lines collect corners and
// "endfacet" turns them into triangles (fanned when a loop has more than
// three). Files holding several solids are read whole. A file that stops
// inside a facet or before "endsolid" was cut short: reading it as a
// smaller mesh would lose faces silently. Returns the number of complete
// facets.
std::size_t readTextStl(std::string_view text, TriangleSoup& soup) {
    TextScanner scanner(text);
    scanner.restOfLine();  // "solid name"
    Vertex corners[3];
    std::size_t cornerCount = 0;
    std::size_t facets = 0;
    bool inFacet = false, ended = false;
    while (true) {
        const std::string_view keyword = scanner.word();
        if (keyword.empty())
            break;
        ended = false;
        if (keyword == "vertex") {
            Ogre::Vector3 p;
            for (int k = 0; k < 3; ++k) {
                const std::string_view number = scanner.word();
                if (!TextScanner::parseFloat(number, p[k]))
                    throw Exception(ErrorCode::SceneFile,
                                    atLine(scanner) + "expected a number, found " + describeWord(number) + ".",
                                    importLocation);
            }
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                throw Exception(ErrorCode::SceneFile,
                                atLine(scanner) + "facet " + std::to_string(facets + 1) +
                                    " has a vertex coordinate that is not a finite number.",
                                importLocation);
            const Vertex corner = cornerAt(p, defaultColour);
            if (cornerCount < 3)
                corners[cornerCount] = corner;
            else {  // a polygon loop: fan from the first corner
                soup.addTriangle(corners[0], corners[2], corner);
                corners[2] = corner;
            }
            ++cornerCount;
            if (cornerCount == 3)
                soup.addTriangle(corners[0], corners[1], corners[2]);
        } else if (keyword == "endfacet") {
            if (cornerCount != 0 && cornerCount < 3)
                throw Exception(ErrorCode::SceneFile, atLine(scanner) + "a facet has fewer than three vertices.",
                                importLocation);
            cornerCount = 0;
            inFacet = false;
            ++facets;
        } else if (keyword == "facet") {
            cornerCount = 0;
            inFacet = true;
        } else if (keyword == "endsolid") {
            scanner.restOfLine();  // the solid's name
            ended = true;
        } else if (keyword == "solid") {
            scanner.restOfLine();
        }
        // "normal" numbers, "outer loop" and "endloop" carry nothing we keep.
    }
    if (inFacet)
        throw Exception(ErrorCode::SceneFile,
                        "The STL file is cut short: it ends inside facet " + std::to_string(facets + 1) + ".",
                        importLocation);
    if (!ended)
        throw Exception(ErrorCode::SceneFile, "The STL file is cut short: it ends without 'endsolid'.",
                        importLocation);
    return facets;
}

std::uint32_t facetCountOf(const std::uint8_t* data) {
    return std::uint32_t(data[80]) | std::uint32_t(data[81]) << 8 | std::uint32_t(data[82]) << 16 |
           std::uint32_t(data[83]) << 24;
}

Ogre::ColourValue colourOfAttribute(std::uint16_t attribute) {
    return Ogre::ColourValue((attribute & 31) / 31.0f, ((attribute >> 5) & 31) / 31.0f,
                             ((attribute >> 10) & 31) / 31.0f, 1.0f);
}

void readBinaryStl(const std::uint8_t* data, std::size_t size, TriangleSoup& soup) {
    if (size < headerSize + 4)
        throw Exception(ErrorCode::SceneFile, "The file is too short to be an STL file.", importLocation);
    const std::uint32_t count = facetCountOf(data);
    const std::size_t available = (size - headerSize - 4) / facetSize;
    if (count > available)
        throw Exception(ErrorCode::SceneFile,
                        "The STL file is cut short: it announces " + std::to_string(count) +
                            " triangles but holds only " + std::to_string(available) + ".",
                        importLocation);
    const std::uint8_t* facets = data + headerSize + 4;
    // Most writers leave every attribute zero: such files carry no colour.
    bool coloured = false;
    for (std::uint32_t i = 0; i < count && !coloured; ++i)
        coloured = facets[i * facetSize + 48] != 0 || facets[i * facetSize + 49] != 0;

    soup.reserve(count);
    Ogre::ColourValue colour = defaultColour;
    // The weld's table outgrows the cache on large files: its slots for a
    // facet some way ahead are requested while this one is welded.
    constexpr std::uint32_t prefetchAhead = 8;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i + prefetchAhead < count) {
            float ahead[9];
            std::memcpy(ahead, facets + (i + prefetchAhead) * facetSize + 12, sizeof ahead);
            for (int k = 0; k < 3; ++k)
                soup.prefetchCorner(Ogre::Vector3(ahead[3 * k], ahead[3 * k + 1], ahead[3 * k + 2]));
        }
        const std::uint8_t* facet = facets + i * facetSize;
        float corners[9];
        std::memcpy(corners, facet + 12, sizeof corners);  // little-endian host
        for (const float c : corners)
            if (!std::isfinite(c))
                throw Exception(ErrorCode::SceneFile,
                                "Facet " + std::to_string(i + 1) +
                                    " has a vertex coordinate that is not a finite number.",
                                importLocation);
        const std::uint16_t attribute = static_cast<std::uint16_t>(facet[48] | facet[49] << 8);
        if (coloured && (attribute & 0x8000) == 0)
            colour = colourOfAttribute(attribute);
        soup.addTriangle(cornerAt(Ogre::Vector3(corners[0], corners[1], corners[2]), colour),
                         cornerAt(Ogre::Vector3(corners[3], corners[4], corners[5]), colour),
                         cornerAt(Ogre::Vector3(corners[6], corners[7], corners[8]), colour));
    }
}

// World positions of an object's vertices, computed once per object.
std::vector<Ogre::Vector3> worldPositions(const Object& object) {
    const Ogre::Affine3 world(object.getWorldMatrix());
    const std::vector<Vertex>& vertices = object.getMesh()->getVertices();
    std::vector<Ogre::Vector3> positions(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i)
        positions[i] = world * vertices[i].position;
    return positions;
}

std::uint16_t attributeOf(const Ogre::ColourValue& c0, const Ogre::ColourValue& c1, const Ogre::ColourValue& c2) {
    const auto channel = [](float a, float b, float c) {
        const float value = std::floor(((a + b + c) * 0.33333334f) * 31.0f);
        return static_cast<std::uint16_t>(std::isnan(value) ? 0.0f : std::min(31.0f, std::max(0.0f, value)));
    };
    return static_cast<std::uint16_t>(channel(c0.r, c1.r, c2.r) | channel(c0.g, c1.g, c2.g) << 5 |
                                      channel(c0.b, c1.b, c2.b) << 10);
}

Ogre::ColourValue cornerColour(const Vertex& v, const std::string& material, ITextureMaterials* textures) {
    Ogre::ColourValue colour = v.colour;
    if (textures && isTextureMaterialName(material))
        textures->sampleColour(material, v.u, v.v, colour);
    return colour;
}

} // namespace

bool isTextStl(const std::uint8_t* data, std::size_t size) {
    if (size < 5 || std::memcmp(data, "solid", 5) != 0)
        return false;
    // Many binary writers start their header with "solid" too; their size
    // gives them away.
    const bool sizeMatchesBinary =
        size >= headerSize + 4 && std::uint64_t(facetCountOf(data)) * facetSize + headerSize + 4 == size;
    return !sizeMatchesBinary;
}

void readStl(const std::uint8_t* data, std::size_t size, ObjectGroup& root, IObjectFactory& factory) {
    TriangleSoup soup;
    if (isTextStl(data, size)) {
        // A binary file whose header happens to start with "solid" and whose
        // size is off reads as text with no facet; say what it is instead
        // of handing back an empty scene.
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        std::size_t facets = 0;
        std::string textProblem;
        try {
            facets = readTextStl(text, soup);
        } catch (const Exception& error) {
            textProblem = error.getDescription();
        }
        if (!textProblem.empty() && facets == 0 && text.find("facet") == std::string_view::npos &&
            size >= headerSize + 4)
            throw Exception(ErrorCode::SceneFile,
                            "The file starts with 'solid' but is not a text STL (it holds no complete facet) and "
                            "its size of " + std::to_string(size) + " bytes does not fit the " +
                                std::to_string(facetCountOf(data)) + " triangles a binary STL header announces.",
                            importLocation);
        if (!textProblem.empty())
            throw Exception(ErrorCode::SceneFile, textProblem, importLocation);
    } else
        readBinaryStl(data, size, soup);
    soup.addObjects(root, factory, "defaultMaterial");
}

std::string stlBinaryHeader() {
    std::string header = "Brevant-STLIO: coloured triangle mesh export,  ";
    header += "COLOR=";
    header += std::string(4, '\xff');
    header += ",MATERIAL=";
    const char material[12] = {'\xff', '\xff', '\xff', '\xff', 0, 0, 0, '\xff', 0, 0, 0, '\xff'};
    header.append(material, sizeof material);
    header.push_back('\0');
    return header;
}

std::string writeStlBinary(const ObjectGroup& root, ITextureMaterials* textures) {
    const ExportCollection collection = collectExportObjects(root);
    // Sized once and filled facet by facet: a million facets are 50 MB.
    std::string bytes(headerSize + 4 + collection.faceCount * facetSize, '\0');
    const std::string header = stlBinaryHeader();
    std::memcpy(&bytes[0], header.data(), std::min(header.size(), headerSize));
    const auto count = static_cast<std::uint32_t>(collection.faceCount);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[headerSize + i] = static_cast<char>(count >> (8 * i));
    char* facet = &bytes[headerSize + 4];
    for (const Object* object : collection.objects) {
        const std::vector<Ogre::Vector3> positions = worldPositions(*object);
        const std::vector<Vertex>& vertices = object->getMesh()->getVertices();
        const std::string material = materialOf(*object);
        for (const Face& f : object->getMesh()->getFaces()) {
            // The normal stays zero, as readers recompute it.
            for (int k = 0; k < 3; ++k)
                std::memcpy(facet + 12 + 12 * k, positions[f[k]].ptr(), 3 * sizeof(float));  // little-endian host
            const std::uint16_t attribute = attributeOf(cornerColour(vertices[f.i0], material, textures),
                                                        cornerColour(vertices[f.i1], material, textures),
                                                        cornerColour(vertices[f.i2], material, textures));
            facet[48] = static_cast<char>(attribute & 0xff);
            facet[49] = static_cast<char>(attribute >> 8);
            facet += facetSize;
        }
    }
    return bytes;
}

std::string writeStlText(const ObjectGroup& root, const std::string& solidName) {
    std::string out = "solid " + solidName + "\n";
    for (const Object* object : collectExportObjects(root).objects) {
        const std::vector<Ogre::Vector3> positions = worldPositions(*object);
        for (const Face& f : object->getMesh()->getFaces()) {
            out += "\tfacet normal 0 0 0\n\t\touter loop\n";
            for (int k = 0; k < 3; ++k) {
                const Ogre::Vector3& p = positions[f[k]];
                out += "\t\t\tvertex ";
                appendRoundTripPoint(out, p.x, p.y, p.z, "%g");
                out += '\n';
            }
            out += "\t\tendloop\n\tendfacet\n";
        }
    }
    out += "endsolid " + solidName + "\n";
    return out;
}

bool ImportStl::load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) {
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    readStl(bytes.data(), bytes.size(), root, factory);
    return true;
}

bool ExportStlBinary::save(const ObjectGroup& root, const std::string& path) {
    writeFileAtomically(path, writeStlBinary(root, textures), "Kiln::ExportStlBinary::save()",
                        "Failed to open file '" + path + "'");
    return true;
}

bool ExportStlAscii::save(const ObjectGroup& root, const std::string& path) {
    writeFileAtomically(path, writeStlText(root, path), "Kiln::ExportStlAscii::save()",
                        "Failed to open file '" + path + "'");
    return true;
}

} // namespace Kiln
