#pragma once
// Read-only settings: full keys ("Window.Title") to value texts.
#include <map>
#include <string>

namespace Kiln {

class IKeyValueStore {
public:
    virtual ~IKeyValueStore() = default;
    /// The value of a full key; throws Kiln::Exception (code 3) when absent.
    virtual std::string operator[](const std::string& key) const = 0;
};

/// An XML settings file flattened into keys. Every element attribute E.A
/// gives the key "E.A"; an element's text gives the key named after the
/// element itself, so <Window Title="x"/> and <Window.Title>x</Window.Title>
/// both set "Window.Title" (the later one in the document wins). Nesting
/// does not build longer keys.
class SimpleXMLKeyValueStore : public IKeyValueStore {
public:
    /// Loads `fileName`; an empty name loads nothing. A relative name that
    /// does not parse is tried again inside `fallbackDirectory` (the data
    /// folder) when one is given. Throws Kiln::Exception code 7 "Failed to
    /// load settings file ..." when neither parses.
    explicit SimpleXMLKeyValueStore(const std::string& fileName,
                                    const std::string& fallbackDirectory = "");

    std::string operator[](const std::string& key) const override;

    /// Parses XML text directly (tests, in-memory defaults).
    static SimpleXMLKeyValueStore fromText(const std::string& xml);

    const std::map<std::string, std::string>& getValues() const { return values; }

private:
    SimpleXMLKeyValueStore() = default;
    std::map<std::string, std::string> values;
};

} // namespace Kiln
