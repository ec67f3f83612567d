#pragma once
// Typed reads over a settings store with a default for every key, so a
// missing key never stops the program. Every read is traced on the
// "ConfigReader" debug channel, marked " (default)" when the key is absent.
#include "config/KeyValueStore.h"

#include <OgreColourValue.h>
#include <OgreVector.h>

#include <memory>
#include <string>

namespace Kiln {

class ConfigReader {
public:
    explicit ConfigReader(std::unique_ptr<IKeyValueStore> store);

    std::string readString(const std::string& key, const std::string& defaultValue);
    bool readBool(const std::string& key, bool defaultValue);
    int readInt(const std::string& key, int defaultValue);
    float readFloat(const std::string& key, float defaultValue);
    /// Three blank-separated floats; the default is given as text.
    Ogre::Vector3 readVector3(const std::string& key, const std::string& defaultText);
    /// Red, green, blue, alpha; missing trailing components stay 1.
    Ogre::ColourValue readColour(const std::string& key, const std::string& defaultText);
    Ogre::ColourValue readColour(const std::string& key, const Ogre::ColourValue& defaultValue);

    /// Leaves the section it entered when it goes out of scope.
    class Section {
    public:
        explicit Section(ConfigReader& reader) : reader(&reader) {}
        Section(Section&& other) noexcept : reader(other.reader) { other.reader = nullptr; }
        Section(const Section&) = delete;
        Section& operator=(const Section&) = delete;
        ~Section() {
            if (reader)
                reader->leaveSection();
        }

    private:
        ConfigReader* reader;
    };

    /// Prefixes later keys with `name` + "."; undone by the returned guard.
    [[nodiscard]] Section enterSection(const std::string& name);
    void leaveSection();
    const std::string& getPrefix() const { return prefix; }

    /// "true"/"yes"/"1" in three casings, likewise false; else throws (code 3).
    static bool parseBool(const std::string& text);
    static Ogre::ColourValue parseColour(const std::string& text);

private:
    /// Starts the trace line; false when the store lacks the key.
    bool lookup(const std::string& fullKey, std::string& text) const;

    /// The stored value converted, or the default; traced either way.
    template <typename T, typename Convert>
    T readTyped(const std::string& key, const T& defaultValue, Convert convert);

    std::unique_ptr<IKeyValueStore> store;
    std::string prefix;
};

} // namespace Kiln
