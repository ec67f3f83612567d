#pragma once
// The program's texts by number, from the language files ("lang_en.xml",
// "lang_cn.xml"), and for each text the GUI font that can show it.
#include <cstdint>
#include <string>
#include <unordered_map>

namespace Kiln {

class LanguageTable {
public:
    /// Adds every <ResourceEntity><id>N</id><text>...</text></ResourceEntity>
    /// under the root <ArrayOfResourceEntity> of `fileName`, remembering
    /// `fontName` for each text. An id already in the table keeps its text:
    /// the first file loaded is the user's language. Throws Kiln::Exception (code 7) when the file does not
    /// parse or has another root; entries without a numeric id are skipped.
    void load(const std::string& fileName, const std::string& fontName);
    /// The text for `id`, empty when there is none.
    std::string lookup(std::int32_t id) const;
    /// The font of the file that gave `text`, empty when unknown.
    std::string fontFor(const std::string& text) const;
    std::size_t size() const { return texts.size(); }

    /// The program's table, filled at start-up.
    static LanguageTable& instance();

private:
    std::unordered_map<std::int32_t, std::string> texts;
    std::unordered_map<std::string, std::string> fonts;
};

} // namespace Kiln
