#include "config/KeyValueStore.h"

#include "log/Exception.h"

#include <tinyxml.h>

namespace Kiln {
namespace {

void collect(const TiXmlNode* node, std::map<std::string, std::string>& values) {
    if (const TiXmlElement* element = node->ToElement()) {
        for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next())
            values[element->ValueStr() + "." + a->Name()] = a->ValueStr();
    } else if (const TiXmlText* text = node->ToText()) {
        if (const TiXmlNode* parent = text->Parent())
            values[parent->ValueStr()] = text->ValueStr();
    }
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling())
        collect(child, values);
}

bool isRelative(const std::string& path) { return !path.empty() && path[0] != '/'; }

} // namespace

SimpleXMLKeyValueStore::SimpleXMLKeyValueStore(const std::string& fileName,
                                               const std::string& fallbackDirectory) {
    if (fileName.empty())
        return;
    TiXmlDocument document;
    bool loaded = document.LoadFile(fileName.c_str());
    if (!loaded && isRelative(fileName) && !fallbackDirectory.empty()) {
        document = TiXmlDocument();
        loaded = document.LoadFile((fallbackDirectory + "/" + fileName).c_str());
    }
    if (!loaded)
        throw Exception(ErrorCode::FileAccess, "Failed to load settings file " + fileName,
                        "SimpleXMLKeyValueStore::SettingsFile");
    collect(&document, values);
}

SimpleXMLKeyValueStore SimpleXMLKeyValueStore::fromText(const std::string& xml) {
    TiXmlDocument document;
    document.Parse(xml.c_str());
    if (document.Error())
        throw Exception(ErrorCode::FileAccess, std::string("Failed to parse settings text: ") + document.ErrorDesc(),
                        "SimpleXMLKeyValueStore::fromText()");
    SimpleXMLKeyValueStore store;
    collect(&document, store.values);
    return store;
}

std::string SimpleXMLKeyValueStore::operator[](const std::string& key) const {
    const auto it = values.find(key);
    if (it == values.end())
        throw Exception(ErrorCode::InvalidValue, "\"" + key + "\" is not an available settings under Config",
                        "SimpleXMLKeyValueStore::operator[]");
    return it->second;
}

} // namespace Kiln
