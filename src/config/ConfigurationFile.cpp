#include "config/ConfigurationFile.h"

#include "log/Exception.h"
#include "platform/Files.h"
#include "platform/UserFolders.h"

#include <OgreResourceGroupManager.h>
#include <OgreStringConverter.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace Kiln {
namespace {

ConfigurationTable theTable;
std::string userFolderOverride;

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

const std::string* find(const std::string& fullKey) {
    const auto [section, key] = ConfigurationFile::parseSetting(fullKey);
    const auto s = theTable.find(section);
    if (s == theTable.end())
        return nullptr;
    const auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
}

/// The shipped file: through the engine's resources when they are up
/// (so resource locations decide), else straight from the data folder.
bool readShipped(const std::string& fileName, ConfigurationTable& table) {
    auto* resources = Ogre::ResourceGroupManager::getSingletonPtr();
    if (resources && resources->resourceExistsInAnyGroup(fileName)) {
        const Ogre::DataStreamPtr stream = resources->openResource(fileName);
        std::istringstream in(stream->getAsString());
        ConfigurationFile::mergeSectioned(in, table);
        return true;
    }
    std::ifstream in(dataDirectory() + "/" + fileName);
    if (!in)
        return false;
    ConfigurationFile::mergeSectioned(in, table);
    return true;
}

} // namespace

void ConfigurationFile::mergeSectioned(std::istream& in, ConfigurationTable& table) {
    std::string section;
    std::string line;
    while (std::getline(in, line)) {
        const std::string text = trim(line);
        if (text.empty() || text[0] == '#' || text[0] == ';')
            continue;
        if (text.front() == '[' && text.back() == ']') {
            section = trim(text.substr(1, text.size() - 2));
            table[section];
            continue;
        }
        const auto separator = text.find_first_of("\t:=");
        const std::string key = trim(text.substr(0, separator));
        const std::string value =
            separator == std::string::npos ? std::string() : trim(text.substr(separator + 1));
        table[section][key] = value;
    }
}

void ConfigurationFile::load(const std::string& fileName) {
    ConfigurationTable table;
    if (!readShipped(fileName, table))
        throw Exception(ErrorCode::FileAccess, "Cannot find configuration file '" + fileName + "'",
                        "Kiln::ConfigurationFile::load()");
    std::ifstream user(userCopyPath());
    if (user)
        mergeSectioned(user, table);
    theTable = std::move(table);
}

bool ConfigurationFile::save() {
    const std::string path = userCopyPath();
    if (path.empty())
        return false;
    std::ostringstream out;
    for (const auto& [section, keys] : theTable) {
        out << "[" << section << "]\n";
        for (const auto& [key, value] : keys)
            out << key << " = " << value << "\n";
    }
    return writeFileAtomically(path, out.str());
}

std::pair<std::string, std::string> ConfigurationFile::parseSetting(const std::string& fullKey) {
    const auto dot = fullKey.find('.');
    if (dot == std::string::npos)
        throw Exception(ErrorCode::General, "Invalid setting string '" + fullKey + "'",
                        "Kiln::ConfigurationFile::parseSetting()");
    return {fullKey.substr(0, dot), fullKey.substr(dot + 1)};
}

bool ConfigurationFile::parseBool(const std::string& text) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (upper == "TRUE" || upper == "YES" || upper == "ON")
        return true;
    if (upper == "FALSE" || upper == "NO" || upper == "OFF")
        return false;
    throw Exception(ErrorCode::General, "Invalid as a boolean value '" + text + "'.",
                    "Kiln::ConfigurationFile::parseBool()");
}

std::vector<float> ConfigurationFile::parseVectorf(const std::string& text, unsigned n) {
    std::istringstream in(text);
    std::vector<float> values;
    std::string word;
    while (in >> word) {
        std::istringstream number(word);
        float value;
        if (!(number >> value) || !number.eof()) {
            values.clear();
            break;
        }
        values.push_back(value);
    }
    if (values.size() != n)
        throw Exception(ErrorCode::General, text + " is not in the right format for a vector of " +
                               std::to_string(n) + "-dimensions",
                        "Kiln::ConfigurationFile::parseVectorf()");
    return values;
}

bool ConfigurationFile::getBool(const std::string& fullKey, bool defaultValue) {
    const std::string* text = find(fullKey);
    return text ? parseBool(*text) : defaultValue;
}

int ConfigurationFile::getInt(const std::string& fullKey, int defaultValue) {
    const std::string* text = find(fullKey);
    return text ? Ogre::StringConverter::parseInt(*text, defaultValue) : defaultValue;
}

float ConfigurationFile::getFloat(const std::string& fullKey, float defaultValue) {
    const std::string* text = find(fullKey);
    return text ? Ogre::StringConverter::parseReal(*text, defaultValue) : defaultValue;
}

Ogre::Vector2 ConfigurationFile::getVector2(const std::string& fullKey,
                                            const Ogre::Vector2& defaultValue) {
    const std::string* text = find(fullKey);
    if (!text)
        return defaultValue;
    const std::vector<float> v = parseVectorf(*text, 2);
    return {v[0], v[1]};
}

Ogre::ColourValue ConfigurationFile::getColour(const std::string& fullKey,
                                               const Ogre::ColourValue& defaultValue) {
    const std::string* text = find(fullKey);
    if (!text)
        return defaultValue;
    std::istringstream in(*text);
    Ogre::ColourValue colour(1, 1, 1, 1);
    in >> colour.r >> colour.g >> colour.b;
    float alpha;
    if (in >> alpha)
        colour.a = alpha;
    return colour;
}

std::string ConfigurationFile::getString(const std::string& fullKey,
                                         const std::string& defaultValue) {
    const std::string* text = find(fullKey);
    return text ? *text : defaultValue;
}

void ConfigurationFile::setString(const std::string& fullKey, const std::string& value) {
    const auto [section, key] = parseSetting(fullKey);
    theTable[section][key] = value;
}

void ConfigurationFile::setBool(const std::string& fullKey, bool value) {
    setString(fullKey, value ? "true" : "false");
}

void ConfigurationFile::setUserFolder(const std::string& folder) { userFolderOverride = folder; }

std::string ConfigurationFile::userCopyPath() {
    const std::string folder = userFolderOverride.empty() ? userDataFolder() : userFolderOverride;
    return folder.empty() ? std::string() : folder + "/FunctionConfig.cfg";
}

const ConfigurationTable& ConfigurationFile::table() { return theTable; }

void ConfigurationFile::clear() { theTable.clear(); }

} // namespace Kiln
