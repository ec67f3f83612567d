#pragma once
// "FunctionConfig.cfg": the writable table of user choices (view toggles,
// autosave, recent files, undo depth). The shipped file gives the defaults;
// the user's copy in the per-user folder overrides them and is the only
// file ever written.
#include <OgreColourValue.h>
#include <OgreVector.h>

#include <istream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Kiln {

/// Section name -> key -> value. Full keys split at their first ".".
using ConfigurationTable = std::map<std::string, std::map<std::string, std::string>>;

class ConfigurationFile {
public:
    /// Reads `fileName` from the engine's resources when the engine runs,
    /// else from the data folder, then merges the user's copy over it.
    static void load(const std::string& fileName);
    /// Writes the whole table to the user's copy (through a temporary file,
    /// so a failed write leaves the previous copy intact). Returns false,
    /// and changes nothing, when the copy cannot be written.
    static bool save();

    static bool getBool(const std::string& fullKey, bool defaultValue);
    static int getInt(const std::string& fullKey, int defaultValue);
    static float getFloat(const std::string& fullKey, float defaultValue);
    static Ogre::Vector2 getVector2(const std::string& fullKey, const Ogre::Vector2& defaultValue);
    static Ogre::ColourValue getColour(const std::string& fullKey,
                                       const Ogre::ColourValue& defaultValue);
    static std::string getString(const std::string& fullKey, const std::string& defaultValue);

    static void setString(const std::string& fullKey, const std::string& value);
    /// Stored as "true" or "false".
    static void setBool(const std::string& fullKey, bool value);

    /// Splits at the first "."; throws when there is none.
    static std::pair<std::string, std::string> parseSetting(const std::string& fullKey);
    /// TRUE/YES/ON and FALSE/NO/OFF in any case; anything else throws.
    static bool parseBool(const std::string& text);
    /// Exactly n blank-separated floats, else throws.
    static std::vector<float> parseVectorf(const std::string& text, unsigned n);

    /// Reads a sectioned file (separators tab, ':' and '='; blanks trimmed)
    /// into `table`, overriding existing keys.
    static void mergeSectioned(std::istream& in, ConfigurationTable& table);

    /// Where the user's copy lives: the per-user folder by default.
    static void setUserFolder(const std::string& folder);
    static std::string userCopyPath();
    static const ConfigurationTable& table();
    /// Forgets everything loaded (tests).
    static void clear();
};

} // namespace Kiln
