#include "config/LanguageTable.h"

#include "log/Exception.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstdlib>

namespace Kiln {
namespace {

const char* childText(const TiXmlElement* parent, const char* name) {
    const TiXmlElement* child = parent->FirstChildElement(name);
    if (!child)
        return parent->Attribute(name);
    const char* text = child->GetText();
    return text ? text : "";
}

bool parseId(const char* text, std::int32_t& id) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX)
        return false;
    id = std::int32_t(value);
    return true;
}

} // namespace

void LanguageTable::load(const std::string& fileName, const std::string& fontName) {
    TiXmlDocument document;
    if (!document.LoadFile(fileName.c_str(), TIXML_ENCODING_UTF8))
        throw Exception(ErrorCode::FileAccess, "Failed to load language file " + fileName, "LanguageTable::load()");
    const TiXmlElement* root = document.RootElement();
    if (!root || root->ValueStr() != "ArrayOfResourceEntity")
        throw Exception(ErrorCode::FileAccess, "Language file " + fileName + " has no ArrayOfResourceEntity root",
                        "LanguageTable::load()");
    for (const TiXmlElement* entry = root->FirstChildElement("ResourceEntity"); entry;
         entry = entry->NextSiblingElement("ResourceEntity")) {
        std::int32_t id = 0;
        if (!parseId(childText(entry, "id"), id))
            continue;
        const char* text = childText(entry, "text");
        // The first language loaded is the one the user reads; later files
        // only fill ids it lacks.
        const auto [it, added] = texts.emplace(id, text ? text : "");
        if (added)
            fonts.emplace(it->second, fontName);
    }
}

std::string LanguageTable::lookup(std::int32_t id) const {
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

std::string LanguageTable::fontFor(const std::string& text) const {
    const auto it = fonts.find(text);
    return it == fonts.end() ? std::string() : it->second;
}

LanguageTable& LanguageTable::instance() {
    static LanguageTable table;
    return table;
}

} // namespace Kiln
