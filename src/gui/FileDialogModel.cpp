#include "gui/FileDialogModel.h"

#include "platform/UserFolders.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace Kiln {
namespace {

std::string normalFolder(const fs::path& path) {
    std::string text = path.lexically_normal().generic_string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text.empty() ? "/" : text;
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

FileDialogModel::FileDialogModel(Mode mode, const std::string& startFolder, const std::string& filterText)
    : mode(mode), filters(parseFilters(filterText)) {
    if (!enterFolder(startFolder))
        folder = "/";
    error.clear();
}

std::vector<FileDialogModel::Filter> FileDialogModel::parseFilters(const std::string& text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : text) {
        if (c == '|') {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    std::vector<Filter> result;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2)
        if (!pieces[i + 1].empty())
            result.push_back({pieces[i], pieces[i + 1]});
    if (result.empty())
        result.push_back({"All files (*.*)", "*.*"});
    return result;
}

bool FileDialogModel::matches(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    // Iterative glob with backtracking to the last '*'.
    std::size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

void FileDialogModel::setFilterIndex(std::size_t index) {
    if (index < filters.size())
        filterIndex = index;
}

std::vector<std::string> FileDialogModel::getPlaces() const {
    std::vector<std::string> places{"/"};
    const char* home = std::getenv("HOME");
    if (home && *home && isFolder(home))
        places.push_back(normalFolder(home));
    const std::string documents = documentsFolder();
    if (!documents.empty() && isFolder(documents) &&
        std::find(places.begin(), places.end(), normalFolder(documents)) == places.end())
        places.push_back(normalFolder(documents));
    return places;
}

std::string FileDialogModel::resolve(const std::string& name) const {
    const fs::path path(name);
    return normalFolder(path.is_absolute() ? path : fs::path(folder) / path);
}

bool FileDialogModel::enterFolder(const std::string& path) {
    const std::string target = path.empty() ? folder : resolve(path);
    std::error_code failure;
    fs::directory_iterator probe(target, failure);
    if (failure || !isFolder(target)) {
        error = path + " is an invalid directory...";
        return false;
    }
    folder = target;
    error.clear();
    return true;
}

void FileDialogModel::goUp() {
    if (folder != "/")
        enterFolder(fs::path(folder).parent_path().generic_string());
}

std::vector<std::string> FileDialogModel::list() {
    std::vector<std::string> folders, files;
    std::error_code failure;
    for (fs::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (it->is_directory(kind))
            folders.push_back(name + "/");
        else if (matches(filters[filterIndex].pattern, name))
            files.push_back(name);
    }
    if (failure)
        error = "Could not browse location...";
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());
    std::vector<std::string> entries;
    if (folder != "/")
        entries.push_back("..");
    entries.insert(entries.end(), folders.begin(), folders.end());
    entries.insert(entries.end(), files.begin(), files.end());
    return entries;
}

FileDialogModel::Outcome FileDialogModel::confirm(const std::string& nameText) {
    std::string name = nameText;
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (name.empty())
        return Outcome::Nothing;
    if (name == "..") {
        goUp();
        return Outcome::EnterFolder;
    }
    std::string path = resolve(name);
    if (isFolder(path)) {
        enterFolder(path);
        return Outcome::EnterFolder;
    }
    // A name typed without an extension in save mode gets the filter's one.
    const std::string& pattern = filters[filterIndex].pattern;
    if (mode == Mode::Save && fs::path(path).extension().empty() && pattern.rfind("*.", 0) == 0 &&
        pattern.find_first_of("*?", 2) == std::string::npos)
        path += pattern.substr(1);
    std::error_code failure;
    const bool exists = fs::exists(path, failure);
    pendingPath = path;
    if (mode == Mode::Load && !exists)
        return Outcome::PromptLoad;
    if (mode == Mode::Save && exists)
        return Outcome::PromptSave;
    chosenPath = path;
    return Outcome::Finish;
}

} // namespace Kiln
