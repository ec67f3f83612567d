// What opening, inserting, importing and starting anew do to the scene.
#include "functions/FunctionManager.h"
#include "functions/file/FileFunctions.h"
#include "functions/file/SceneContents.h"
#include "functions/tools/EditStates.h"
#include "scene/ObjectGroup.h"
#include "scene/SelectionManager.h"

#include <algorithm>

namespace {

/// Objects a file added. Undo takes them out, redo puts them back.
class AddedFromFileState : public PasteState {
public:
    AddedFromFileState(const FunctionBase* function, const FunctionContext& context, std::string undoneText,
                       std::string redoneText)
        : PasteState(function, context), context(context), undoneText(std::move(undoneText)),
          redoneText(std::move(redoneText)) {}
    void undo() override {
        PasteState::undo();
        tell(undoneText);
    }
    void redo() override {
        PasteState::redo();
        tell(redoneText);
    }

private:
    void tell(const std::string& text) const {
        if (context.status && !text.empty())
            context.status->postDefault(text, filetexts::INFO);
    }
    const FunctionContext& context;
    std::string undoneText;
    std::string redoneText;
};

} // namespace

std::string addFileToScene(FunctionBase& function, FunctionContext& context, const std::string& path,
                           const std::string& undoneText, const std::string& redoneText) {
    if (!context.sceneRoot || !context.objectFactory)
        return "There is no scene to add to.";
    std::unique_ptr<Kiln::ObjectGroup> loaded;
    try {
        // Read completely apart from the scene: a file that fails part way
        // adds nothing.
        loaded = scenefiles::readSceneFile(path, *context.objectFactory);
    } catch (const std::exception& e) {
        return e.what();
    }
    auto state = std::make_unique<AddedFromFileState>(&function, context, undoneText, redoneText);
    for (const Kiln::ObjectHandle& added : scenefiles::moveChildren(*loaded, *context.sceneRoot))
        state->add(added, added.get() ? added.get()->getPosition() : Ogre::Vector3::ZERO);
    context.sceneRoot->updateTransform();
    if (context.functions)
        context.functions->pushState(std::move(state));
    else if (context.document)
        context.document->markModified();
    return "";
}

void clearScene(FunctionContext& context) {
    if (context.selection)
        context.selection->clearSelection();
    if (context.functions)
        context.functions->clearHistory();
    if (!context.sceneRoot)
        return;
    while (!context.sceneRoot->getChildren().empty()) {
        std::unique_ptr<Kiln::ObjectGroup> out;
        context.sceneRoot->removeChild(out, context.sceneRoot->getChildren().back().get());
    }
}

namespace {
std::string recentKey(int position) { return "RecentFile.Recent." + std::to_string(position); }
} // namespace

std::vector<std::string> recentFiles(const IDocumentHost& host) {
    std::vector<std::string> files;
    for (int i = 1; i <= recentFileCount; ++i) {
        const std::string file = host.readSetting(recentKey(i), "");
        if (!file.empty())
            files.push_back(file);
    }
    return files;
}

namespace {

void writeRecentFiles(IDocumentHost& host, const std::vector<std::string>& files) {
    for (int i = 1; i <= recentFileCount; ++i)
        host.writeSetting(recentKey(i), i <= int(files.size()) ? files[std::size_t(i - 1)] : "");
}

} // namespace

void rememberRecentFile(IDocumentHost& host, const std::string& path) {
    std::vector<std::string> files{path};
    for (const std::string& file : recentFiles(host))
        if (file != path && int(files.size()) < recentFileCount)
            files.push_back(file);
    writeRecentFiles(host, files);
}

void forgetRecentFile(IDocumentHost& host, const std::string& path) {
    std::vector<std::string> files = recentFiles(host);
    files.erase(std::remove(files.begin(), files.end(), path), files.end());
    writeRecentFiles(host, files);
}
