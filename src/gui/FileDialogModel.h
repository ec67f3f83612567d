#pragma once
// What the common file dialog does, apart from its windows: the folder it
// shows, the filters, the listing, and what pressing OK with a name means in
// load and save mode. Paths use '/' separators.
#include <string>
#include <vector>

namespace Kiln {

class FileDialogModel {
public:
    enum class Mode { Load, Save };

    struct Filter {
        std::string description;
        std::string pattern; ///< "*.stl"; "*.*" and "*" match every name
    };

    /// Outcome of pressing OK.
    enum class Outcome {
        Nothing,      ///< no name given
        EnterFolder,  ///< the name is a folder: it is now shown
        PromptLoad,   ///< load mode, the file does not exist
        PromptSave,   ///< save mode, the file exists (confirm to replace)
        Finish        ///< done: getChosenPath() is the answer
    };

    static constexpr const char* defaultFilters = "All files (*.*)|*.*|";
    static constexpr const char* promptLoadText = "Cannot find the requested file.";
    static constexpr const char* promptSaveText = "The file already exist. Replace it?";

    FileDialogModel(Mode mode, const std::string& folder, const std::string& filters);

    /// "desc|pattern|" pairs; an empty text gives the default filter.
    static std::vector<Filter> parseFilters(const std::string& text);
    /// Whether `name` matches a '*' and '?' pattern ("*.*" matches all).
    static bool matches(const std::string& pattern, const std::string& name);

    Mode getMode() const { return mode; }
    const std::string& getFolder() const { return folder; }
    const std::vector<Filter>& getFilters() const { return filters; }
    std::size_t getFilterIndex() const { return filterIndex; }
    void setFilterIndex(std::size_t index);
    /// "/", the home folder and the Documents folder (those that exist).
    std::vector<std::string> getPlaces() const;

    /// Shows `path` (absolute, or relative to the current folder). False,
    /// with getError() set, when it is not a readable folder.
    bool enterFolder(const std::string& path);
    /// Shows the parent folder.
    void goUp();
    /// ".." (except at "/"), then folders with a trailing '/', then the
    /// files the current filter matches; both groups sorted by name.
    std::vector<std::string> list();
    const std::string& getError() const { return error; }

    /// OK pressed with `name` in the name box.
    Outcome confirm(const std::string& name);
    /// The prompt to replace the file was accepted.
    void acceptReplace() { chosenPath = pendingPath; }
    const std::string& getChosenPath() const { return chosenPath; }

private:
    std::string resolve(const std::string& name) const;

    Mode mode;
    std::string folder;
    std::vector<Filter> filters;
    std::size_t filterIndex = 0;
    std::string error;
    std::string pendingPath;
    std::string chosenPath;
};

} // namespace Kiln
