#include "io/Obj.h"

#include "io/FileBytes.h"
#include "detail/FloatText.h"
#include "detail/TextScanner.h"
#include "detail/TriangleSoup.h"
#include "log/Exception.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace Kiln {

namespace {

const char* const importLocation = "Kiln::ImportObj::load()";
const Ogre::ColourValue defaultColour(0.5f, 0.5f, 0.5f, 1.0f);

struct Material {
    Ogre::ColourValue colour = defaultColour;
    bool hasDiffuse = false;
    std::string texture;
};

bool sameWord(std::string_view a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && b[i] == '\0';
}

bool allFinite(const float* values, int count) {
    for (int k = 0; k < count; ++k)
        if (!std::isfinite(values[k]))
            return false;
    return true;
}

// Up to three numbers from a line; missing ones stay as they are.
int readFloats(TextScanner& line, float* values, int count) {
    int read = 0;
    for (; read < count; ++read) {
        const std::string_view word = line.word();
        if (!TextScanner::parseFloat(word, values[read]))
            break;
    }
    return read;
}

std::unordered_map<std::string, Material> parseMaterialLibrary(std::string_view text) {
    std::unordered_map<std::string, Material> materials;
    Material* current = nullptr;
    std::string currentName;
    TextScanner lines(text);
    while (!lines.atEnd()) {
        TextScanner line(lines.restOfLine());
        const std::string_view keyword = line.word();
        if (sameWord(keyword, "newmtl")) {
            currentName = std::string(line.word());
            current = &materials[currentName];
        } else if (!current) {
            continue;
        } else if (sameWord(keyword, "Kd") || sameWord(keyword, "Ka")) {
            // The diffuse colour is the object's colour; the ambient one
            // stands in when a library gives no diffuse colour.
            const bool diffuse = sameWord(keyword, "Kd");
            if (!diffuse && current->hasDiffuse)
                continue;
            float rgb[3] = {current->colour.r, current->colour.g, current->colour.b};
            if (readFloats(line, rgb, 3) == 3) {
                if (!allFinite(rgb, 3))
                    throw Exception(ErrorCode::SceneFile,
                                    "The colour of material '" + currentName + "' is not a finite number.",
                                    importLocation);
                current->colour = Ogre::ColourValue(rgb[0], rgb[1], rgb[2], 1.0f);
                current->hasDiffuse = current->hasDiffuse || diffuse;
            }
        } else if (sameWord(keyword, "map_Kd")) {
            current->texture = std::string(line.word());
        }
    }
    return materials;
}

class ObjReader {
public:
    ObjReader(ObjectGroup& root, IObjectFactory& factory, const MaterialLibraryLoader& loadLibrary,
              ITextureMaterials* textures, const std::string& directory)
        : root(root), factory(factory), loadLibrary(loadLibrary), textures(textures), directory(directory) {}

    void read(std::string_view text) {
        TextScanner lines(text);
        while (!lines.atEnd()) {
            const std::size_t lineNumber = lines.getLine();
            TextScanner line(lines.restOfLine());
            const std::string_view keyword = line.word();
            if (sameWord(keyword, "v"))
                readPosition(line, lineNumber);
            else if (sameWord(keyword, "vt"))
                readTexture(line);
            else if (sameWord(keyword, "f"))
                readFace(line, lineNumber);
            else if (sameWord(keyword, "mtllib"))
                readLibrary(line);
            else if (sameWord(keyword, "usemtl")) {
                closeSection();
                sectionMaterial = std::string(line.word());
            }
            // Normals, groups, curves and the like are not kept.
        }
        closeSection();
        for (auto& piece : built)
            root.adoptChild(std::move(piece));
    }

private:
    void readPosition(TextScanner& line, std::size_t lineNumber) {
        float xyz[3] = {0, 0, 0};
        readFloats(line, xyz, 3);
        if (!allFinite(xyz, 3))
            throw Exception(ErrorCode::SceneFile,
                            "Line " + std::to_string(lineNumber) + ": vertex " + std::to_string(positions.size() + 1) +
                                " has a coordinate that is not a finite number.",
                            importLocation);
        positions.emplace_back(xyz[0], xyz[1], xyz[2]);
    }

    void readTexture(TextScanner& line) {
        float uv[2] = {0, 0};
        readFloats(line, uv, 2);
        textureCoordinates.push_back({uv[0], uv[1]});
    }

    // A 1-based index, or a negative one counted back from the latest entry.
    static bool resolveIndex(std::string_view text, std::size_t count, std::size_t& index) {
        long long value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value == 0)
            return false;
        const long long resolved = value > 0 ? value - 1 : static_cast<long long>(count) + value;
        if (resolved < 0 || resolved >= static_cast<long long>(count))
            return false;
        index = static_cast<std::size_t>(resolved);
        return true;
    }

    Vertex cornerOf(std::string_view entry, std::size_t lineNumber) {
        const std::size_t slash = entry.find('/');
        const std::string_view positionText = entry.substr(0, slash);
        std::size_t index = 0;
        if (!resolveIndex(positionText, positions.size(), index))
            throw Exception(ErrorCode::SceneFile,
                            "Line " + std::to_string(lineNumber) + ": the face refers to vertex '" +
                                std::string(positionText.substr(0, 20)) + "' but " +
                                std::to_string(positions.size()) + " vertices are defined.",
                            importLocation);
        Vertex corner;
        corner.position = positions[index];
        if (slash != std::string_view::npos) {
            const std::string_view rest = entry.substr(slash + 1);
            const std::string_view textureText = rest.substr(0, rest.find('/'));
            std::size_t t = 0;
            if (!textureText.empty() && resolveIndex(textureText, textureCoordinates.size(), t)) {
                corner.u = textureCoordinates[t].first;
                corner.v = textureCoordinates[t].second;
            }
        }
        return corner;
    }

    void readFace(TextScanner& line, std::size_t lineNumber) {
        polygon.clear();
        for (std::string_view entry = line.word(); !entry.empty(); entry = line.word())
            polygon.push_back(cornerOf(entry, lineNumber));
        for (std::size_t k = 1; k + 1 < polygon.size(); ++k)
            section.push_back({polygon[0], polygon[k], polygon[k + 1]});
    }

    void readLibrary(TextScanner& line) {
        const std::string name(line.word());
        std::string text;
        if (!loadLibrary || !loadLibrary(name, text))
            return;  // a missing library leaves the default colours
        for (auto& entry : parseMaterialLibrary(text))
            materials[entry.first] = entry.second;
    }

    // The faces since the last "usemtl" become objects in that material.
    void closeSection() {
        if (section.empty())
            return;
        const auto found = materials.find(sectionMaterial);
        const Material material = found == materials.end() ? Material() : found->second;
        TriangleSoup soup;
        soup.reserve(section.size());
        for (Triangle& t : section) {
            for (Vertex& corner : t.corners)
                corner.colour = material.colour;
            soup.addTriangle(t.corners[0], t.corners[1], t.corners[2]);
        }
        section.clear();
        std::string materialName = "defaultMaterial";
        if (!material.texture.empty()) {
            materialName = material.texture;
            if (textures)
                textures->loadTextureMaterial(materialName, directory);
        }
        ObjectGroup staging;
        soup.addObjects(staging, factory, materialName);
        while (!staging.getChildren().empty()) {
            built.emplace_back();
            staging.removeChild(built.back(), staging.getChildren().front().get());
        }
    }

    struct Triangle {
        Vertex corners[3];
    };

    ObjectGroup& root;
    IObjectFactory& factory;
    const MaterialLibraryLoader& loadLibrary;
    ITextureMaterials* textures;
    std::string directory;
    std::vector<Ogre::Vector3> positions;
    std::vector<std::pair<float, float>> textureCoordinates;
    std::vector<Vertex> polygon;
    std::vector<Triangle> section;
    std::string sectionMaterial;
    std::unordered_map<std::string, Material> materials;
    std::vector<std::unique_ptr<ObjectGroup>> built;
};

} // namespace

void readObj(std::string_view text, ObjectGroup& root, IObjectFactory& factory,
             const MaterialLibraryLoader& loadLibrary, ITextureMaterials* textures, const std::string& directory) {
    ObjReader(root, factory, loadLibrary, textures, directory).read(text);
}

std::string writeObj(const ObjectGroup& root, const std::string& path) {
    std::string out = "# " + path + " created by Brevant Ltd.\n\n\n";
    std::string faces;
    std::size_t written = 0;
    for (const Object* object : collectExportObjects(root).objects) {
        const Ogre::Affine3 world(object->getWorldMatrix());
        for (const Vertex& v : object->getMesh()->getVertices()) {
            const Ogre::Vector3 p = world * v.position;
            out += "v ";
            appendRoundTripPoint(out, p.x, p.y, p.z, "%f");
            out += '\n';
        }
        for (const Face& f : object->getMesh()->getFaces()) {
            char buffer[64];
            const int length = std::snprintf(buffer, sizeof buffer, "f %llu %llu %llu\n",
                                             static_cast<unsigned long long>(written + f.i0 + 1),
                                             static_cast<unsigned long long>(written + f.i1 + 1),
                                             static_cast<unsigned long long>(written + f.i2 + 1));
            faces.append(buffer, static_cast<std::size_t>(length));
        }
        written += object->getMesh()->getVertexCount();
    }
    if (!faces.empty())
        out += "\n" + faces;
    out += "\n";
    return out;
}

bool ImportObj::load(const std::string& path, ObjectGroup& root, IObjectFactory& factory) {
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    const std::string directory = directoryOf(path);
    const MaterialLibraryLoader loadLibrary = [&directory](const std::string& name, std::string& text) {
        try {
            const std::vector<std::uint8_t> library = readFileBytes(directory + name);
            text.assign(library.begin(), library.end());
            return true;
        } catch (const Exception&) {
            return false;
        }
    };
    readObj(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), root, factory, loadLibrary,
            textures, directory);
    return true;
}

bool ExportObj::save(const ObjectGroup& root, const std::string& path) {
    writeFileAtomically(path, writeObj(root, path), "Kiln::ExportObj::save()", "Failed to open file '" + path + "'");
    return true;
}

} // namespace Kiln
