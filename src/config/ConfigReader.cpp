#include "config/ConfigReader.h"

#include "log/DebugChannel.h"
#include "log/Exception.h"

#include <array>
#include <sstream>

namespace Kiln {
namespace {

DebugChannel& channel() { return debugChannel("ConfigReader"); }

template <typename T>
T extract(const std::string& text, T fallback) {
    std::istringstream in(text);
    T value = fallback;
    in >> value;
    return in.fail() ? fallback : value;
}

Ogre::Vector3 parseVector3(const std::string& text) {
    std::istringstream in(text);
    Ogre::Vector3 v = Ogre::Vector3::ZERO;
    in >> v.x >> v.y >> v.z;
    return v;
}

std::string describe(const Ogre::ColourValue& c) {
    std::ostringstream out;
    out << c.r << " " << c.g << " " << c.b << " " << c.a;
    return out.str();
}

std::string describe(const Ogre::Vector3& v) {
    std::ostringstream out;
    out << v.x << " " << v.y << " " << v.z;
    return out.str();
}

template <typename Number>
Number describe(Number value) {
    return value;
}

} // namespace

ConfigReader::ConfigReader(std::unique_ptr<IKeyValueStore> store_) : store(std::move(store_)) {}

bool ConfigReader::lookup(const std::string& fullKey, std::string& text) const {
    channel() << fullKey;
    try {
        text = (*store)[fullKey];
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string ConfigReader::readString(const std::string& key, const std::string& defaultValue) {
    std::string text;
    if (!lookup(prefix + key, text)) {
        channel() << " (default)" << endl;
        text = defaultValue;
    }
    channel() << " = " << text << endl;
    return text;
}

bool ConfigReader::readBool(const std::string& key, bool defaultValue) {
    std::string text;
    bool value = defaultValue;
    if (lookup(prefix + key, text))
        value = parseBool(text);
    else
        channel() << " (default) :";
    channel() << " = " << (value ? "true" : "false") << endl;
    return value;
}

int ConfigReader::readInt(const std::string& key, int defaultValue) {
    return readTyped(key, defaultValue, [defaultValue](const std::string& text) {
        return extract<int>(text, defaultValue);
    });
}

float ConfigReader::readFloat(const std::string& key, float defaultValue) {
    return readTyped(key, defaultValue, [defaultValue](const std::string& text) {
        return extract<float>(text, defaultValue);
    });
}

Ogre::Vector3 ConfigReader::readVector3(const std::string& key, const std::string& defaultText) {
    return readTyped(key, parseVector3(defaultText), parseVector3);
}

Ogre::ColourValue ConfigReader::readColour(const std::string& key, const std::string& defaultText) {
    return readTyped(key, parseColour(defaultText), parseColour);
}

Ogre::ColourValue ConfigReader::readColour(const std::string& key,
                                           const Ogre::ColourValue& defaultValue) {
    return readTyped(key, defaultValue, parseColour);
}

template <typename T, typename Convert>
T ConfigReader::readTyped(const std::string& key, const T& defaultValue, Convert convert) {
    std::string text;
    T value = defaultValue;
    if (lookup(prefix + key, text))
        value = convert(text);
    else
        channel() << " (default)" << endl;
    channel() << " = " << describe(value) << endl;
    return value;
}

Ogre::ColourValue ConfigReader::parseColour(const std::string& text) {
    Ogre::ColourValue colour(1, 1, 1, 1);
    std::istringstream in(text);
    // Each component is read only while the previous ones were there.
    for (float* component : {&colour.r, &colour.g, &colour.b, &colour.a}) {
        float value;
        if (!(in >> value))
            break;
        *component = value;
    }
    return colour;
}

bool ConfigReader::parseBool(const std::string& text) {
    static const std::array<const char*, 7> trueWords = {"true", "TRUE", "True", "yes",
                                                         "YES",  "Yes",  "1"};
    static const std::array<const char*, 7> falseWords = {"false", "FALSE", "False", "no",
                                                          "NO",    "No",    "0"};
    for (const char* word : trueWords)
        if (text == word)
            return true;
    for (const char* word : falseWords)
        if (text == word)
            return false;
    throw Exception(ErrorCode::InvalidValue, "Invalid format for Boolean: '" + text + "'", "ConfigReader::_parseBool()");
}

ConfigReader::Section ConfigReader::enterSection(const std::string& name) {
    prefix += name + ".";
    return Section(*this);
}

void ConfigReader::leaveSection() {
    // The prefix ends with "."; cut back to just after the "." before it.
    if (prefix.size() < 2) {
        prefix.clear();
        return;
    }
    const auto previousDot = prefix.rfind('.', prefix.size() - 2);
    prefix = previousDot == std::string::npos ? std::string() : prefix.substr(0, previousDot + 1);
}

} // namespace Kiln
