#include "gui/DialogFactory_CEGUI.h"

#include "gui/InterfaceManager.h"

#include <CEGUI/CEGUI.h>

#include <algorithm>
#include <cstdlib>

namespace Kiln {

std::vector<std::string> messageBoxCaptions(int buttons) {
    switch (buttons) {
    case GMBB_OK_CANCEL: return {"OK", "Cancel"};
    case GMBB_YES_NO: return {"Yes", "No"};
    case GMBB_YES_NO_CANCEL: return {"Yes", "No", "Cancel"};
    case GMBB_RETRY_CANCEL: return {"Retry", "Cancel"};
    case GMBB_ABORT_RETRY_IGNORE: return {"Abort", "Retry", "Ignore"};
    default: return {"OK"};
    }
}

int messageBoxResultOf(const std::string& caption) {
    static const std::pair<const char*, int> results[] = {
        {"OK", GMBR_OK},       {"Cancel", GMBR_CANCEL}, {"Yes", GMBR_YES},     {"No", GMBR_NO},
        {"Retry", GMBR_RETRY}, {"Abort", GMBR_ABORT},   {"Ignore", GMBR_IGNORE}};
    for (const auto& [text, result] : results)
        if (caption == text)
            return result;
    return 0;
}

GuiMessageBoxResult messageBoxCloseResult(int buttons) {
    switch (buttons) {
    case GMBB_YES_NO: return GMBR_NO;
    case GMBB_ABORT_RETRY_IGNORE: return GMBR_ABORT;
    case GMBB_OK_CANCEL:
    case GMBB_YES_NO_CANCEL:
    case GMBB_RETRY_CANCEL: return GMBR_CANCEL;
    default: return GMBR_OK;
    }
}

namespace {

CEGUI::Window* child(CEGUI::Window& parent, const char* path) {
    return parent.isChild(path) ? parent.getChild(path) : nullptr;
}

void centre(CEGUI::Window& window) {
    const CEGUI::USize size = window.getSize();
    window.setPosition(CEGUI::UVector2(CEGUI::UDim(0.5f, 0.f) - size.d_width * 0.5f,
                                       CEGUI::UDim(0.5f, 0.f) - size.d_height * 0.5f));
}

} // namespace

/// One open dialog: its window, and what its buttons do.
struct DialogFactory_CEGUI::Open {
    virtual ~Open() = default;
    CEGUI::Window* window = nullptr;
    virtual OpenDialogInfo info() const = 0;
};

class DialogFactory_CEGUI::MessageBoxWindow : public Open {
public:
    std::string title;
    std::string text;
    int buttons = GMBB_OK;
    std::vector<std::string> captions;
    MessageBoxCallback callback;

    OpenDialogInfo info() const override {
        OpenDialogInfo result;
        result.kind = "message";
        result.title = title;
        result.text = text;
        result.buttons = captions;
        return result;
    }
};

class DialogFactory_CEGUI::FileDialogWindow : public Open {
public:
    explicit FileDialogWindow(FileDialogModel model) : model(std::move(model)) {}
    FileDialogModel model;
    std::string title;
    std::function<void(bool chosen, const std::string& path)> finish;

    OpenDialogInfo info() const override {
        OpenDialogInfo result;
        result.kind = "file";
        result.title = title;
        result.mode = model.getMode() == FileDialogModel::Mode::Load ? "open" : "save";
        result.folder = model.getFolder();
        return result;
    }

    void refresh() {
        auto* list = static_cast<CEGUI::Listbox*>(child(*window, "Listbox"));
        const std::vector<std::string> entries = model.list();
        if (list) {
            list->resetList();
            for (const std::string& entry : entries) {
                auto* item = new CEGUI::ListboxTextItem(toGuiString(entry));
                item->setSelectionBrushImage("WindowsLook/Background");
                item->setSelectionColours(CEGUI::Colour(0.55f, 0.7f, 0.9f, 1.f));
                item->setTextColours(CEGUI::Colour(0.1f, 0.12f, 0.16f, 1.f));
                list->addItem(item);
            }
        }
        if (CEGUI::Window* path = child(*window, "PathInfo"))
            path->setText(toGuiString(model.getError().empty() ? model.getFolder()
                                                                : model.getFolder() + "   " + model.getError()));
    }
};

DialogFactory_CEGUI::DialogFactory_CEGUI(InterfaceManager& gui, ModalHooks hooks)
    : gui(gui), hooks(std::move(hooks)) {}

DialogFactory_CEGUI::~DialogFactory_CEGUI() {
    // The toolkit may already be gone; the windows die with it.
    open.clear();
}

std::string DialogFactory_CEGUI::startFolder() {
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/";
}

std::string DialogFactory_CEGUI::uniqueName(const std::string& base) const {
    CEGUI::Window* root = gui.getRootWindow();
    std::string name = base;
    for (int n = 2; root->isChild(name); ++n)
        name = base + std::to_string(n);
    return name;
}

void DialogFactory_CEGUI::close(Open* dialog) {
    const auto found = std::find_if(open.begin(), open.end(),
                                     [dialog](const auto& entry) { return entry.get() == dialog; });
    if (found == open.end())
        return;
    std::unique_ptr<Open> owned = std::move(*found);
    open.erase(found);
    owned->window->setModalState(false);
    owned->window->hide();
    owned->window->disable();
    CEGUI::WindowManager::getSingleton().destroyWindow(owned->window);
    if (!open.empty())
        open.back()->window->setModalState(true);
    if (hooks.end)
        hooks.end();
}

void DialogFactory_CEGUI::messageBox(const std::string& title, const std::string& text, int buttons,
                                     MessageBoxCallback callback) {
    CEGUI::Window* window = CEGUI::WindowManager::getSingleton().loadLayoutFromFile("MessageBox.layout");
    window->setName(uniqueName("GuiMessageBox"));
    auto box = std::make_unique<MessageBoxWindow>();
    box->window = window;
    box->title = title;
    box->text = text;
    box->buttons = buttons;
    box->captions = messageBoxCaptions(buttons);
    box->callback = std::move(callback);
    window->setText(toGuiString(title));
    if (CEGUI::Window* textWindow = child(*window, "Text"))
        textWindow->setText(toGuiString(text));
    // The buttons sit right-aligned; unused slots on the left are hidden.
    const std::size_t slots = 3;
    const std::size_t first = slots - box->captions.size();
    for (std::size_t i = 0; i < slots; ++i) {
        CEGUI::Window* button = child(*window, ("Button" + std::to_string(i)).c_str());
        if (!button)
            continue;
        if (i < first) {
            button->hide();
            continue;
        }
        const std::string caption = box->captions[i - first];
        button->setText(caption);
        button->subscribeEvent(CEGUI::PushButton::EventClicked, [this, caption](const CEGUI::EventArgs&) {
            answer(caption);
            return true;
        });
    }
    window->subscribeEvent(CEGUI::FrameWindow::EventCloseClicked, [this](const CEGUI::EventArgs&) {
        answer("close");
        return true;
    });
    gui.getRootWindow()->addChild(window);
    centre(*window);
    window->setAlwaysOnTop(true);
    open.push_back(std::move(box));
    if (hooks.begin)
        hooks.begin();
    window->activate();
    window->setModalState(true);
}

std::string DialogFactory_CEGUI::answer(const std::string& caption) {
    MessageBoxWindow* box = nullptr;
    for (auto it = open.rbegin(); it != open.rend() && !box; ++it)
        box = dynamic_cast<MessageBoxWindow*>(it->get());
    if (!box)
        return "no message box is open";
    int result = 0;
    if (caption == "close")
        result = messageBoxCloseResult(box->buttons);
    else if (std::find(box->captions.begin(), box->captions.end(), caption) != box->captions.end())
        result = messageBoxResultOf(caption);
    if (result == 0)
        return "the message box has no button '" + caption + "'";
    MessageBoxCallback callback = std::move(box->callback);
    close(box);
    if (callback)
        callback(GuiMessageBoxResult(result));
    return "";
}

void DialogFactory_CEGUI::openFile(const std::string& title, const std::string& filters,
                                   OpenFileCallback callback) {
    auto dialog = std::make_unique<FileDialogWindow>(
        FileDialogModel(FileDialogModel::Mode::Load, startFolder(), filters));
    dialog->title = title.empty() ? "Open File" : title;
    dialog->finish = [callback](bool chosen, const std::string& path) {
        if (callback)
            callback(OpenFileResult{chosen, path});
    };
    present(std::move(dialog), "");
}

void DialogFactory_CEGUI::saveFile(const std::string& title, const std::string& filters,
                                   SaveFileCallback callback, const std::string& proposedName) {
    auto dialog = std::make_unique<FileDialogWindow>(
        FileDialogModel(FileDialogModel::Mode::Save, startFolder(), filters));
    dialog->title = title.empty() ? "Save File" : title;
    dialog->finish = [callback](bool chosen, const std::string& path) {
        if (callback)
            callback(SaveFileResult{chosen, path});
    };
    present(std::move(dialog), proposedName);
}

void DialogFactory_CEGUI::present(std::unique_ptr<FileDialogWindow> dialog, const std::string& name) {
    FileDialogWindow* self = dialog.get();
    self->window = CEGUI::WindowManager::getSingleton().loadLayoutFromFile("DevadaFileDialog.layout");
    open.push_back(std::move(dialog));
    CEGUI::Window* window = self->window;
    const bool load = self->model.getMode() == FileDialogModel::Mode::Load;
    window->setName(uniqueName("CommonFileDialog"));
    window->setText(toGuiString(self->title));
    if (CEGUI::Window* ok = child(*window, "OkButton"))
        ok->setText(load ? "Load" : "Save As");
    auto* nameBox = static_cast<CEGUI::Combobox*>(child(*window, "FileCombobox"));
    if (nameBox)
        nameBox->setText(toGuiString(name));
    if (auto* extensions = static_cast<CEGUI::Combobox*>(child(*window, "ExtensionCombobox"))) {
        for (const FileDialogModel::Filter& filter : self->model.getFilters())
            extensions->addItem(new CEGUI::ListboxTextItem(toGuiString(filter.description)));
        extensions->setText(toGuiString(self->model.getFilters().front().description));
        extensions->subscribeEvent(CEGUI::Combobox::EventListSelectionAccepted,
                                   [self, extensions](const CEGUI::EventArgs&) {
                                       if (CEGUI::ListboxItem* item = extensions->getSelectedItem())
                                           self->model.setFilterIndex(extensions->getItemIndex(item));
                                       self->refresh();
                                       return true;
                                   });
    }
    if (auto* places = static_cast<CEGUI::Combobox*>(child(*window, "DriveCombobox"))) {
        for (const std::string& place : self->model.getPlaces())
            places->addItem(new CEGUI::ListboxTextItem(toGuiString(place)));
        places->setText("/");
        places->subscribeEvent(CEGUI::Combobox::EventListSelectionAccepted,
                               [self, places](const CEGUI::EventArgs&) {
                                   if (CEGUI::ListboxItem* item = places->getSelectedItem())
                                       self->model.enterFolder(fromGuiString(item->getText()));
                                   self->refresh();
                                   return true;
                               });
    }
    if (CEGUI::Window* back = child(*window, "BackButton"))
        back->subscribeEvent(CEGUI::PushButton::EventClicked, [self](const CEGUI::EventArgs&) {
            self->model.goUp();
            self->refresh();
            return true;
        });
    auto finish = [this, self](bool chosen) {
        auto done = std::move(self->finish);
        const std::string path = self->model.getChosenPath();
        close(self);
        if (done)
            done(chosen, path);
    };
    CEGUI::Window* promptLoad = child(*window, "PromptLoad");
    CEGUI::Window* promptSave = child(*window, "PromptSave");
    if (promptLoad) {
        promptLoad->hide();
        if (CEGUI::Window* text = child(*promptLoad, "Text"))
            text->setText(FileDialogModel::promptLoadText);
        if (CEGUI::Window* ok = child(*promptLoad, "OkButton"))
            ok->subscribeEvent(CEGUI::PushButton::EventClicked, [promptLoad](const CEGUI::EventArgs&) {
                promptLoad->hide();
                return true;
            });
    }
    if (promptSave) {
        promptSave->hide();
        if (CEGUI::Window* text = child(*promptSave, "Text"))
            text->setText(FileDialogModel::promptSaveText);
        if (CEGUI::Window* ok = child(*promptSave, "OkButton"))
            ok->subscribeEvent(CEGUI::PushButton::EventClicked, [self, finish](const CEGUI::EventArgs&) {
                self->model.acceptReplace();
                finish(true);
                return true;
            });
        if (CEGUI::Window* cancel = child(*promptSave, "CancelButton"))
            cancel->subscribeEvent(CEGUI::PushButton::EventClicked, [promptSave](const CEGUI::EventArgs&) {
                promptSave->hide();
                return true;
            });
    }
    auto confirm = [self, nameBox, promptLoad, promptSave, finish](const std::string& typed) {
        switch (self->model.confirm(typed)) {
        case FileDialogModel::Outcome::EnterFolder:
            if (nameBox)
                nameBox->setText("");
            self->refresh();
            break;
        case FileDialogModel::Outcome::PromptLoad:
            if (promptLoad) {
                promptLoad->show();
                promptLoad->moveToFront();
            }
            break;
        case FileDialogModel::Outcome::PromptSave:
            if (promptSave) {
                promptSave->show();
                promptSave->moveToFront();
            }
            break;
        case FileDialogModel::Outcome::Finish:
            finish(true);
            break;
        case FileDialogModel::Outcome::Nothing:
            break;
        }
    };
    if (CEGUI::Window* ok = child(*window, "OkButton"))
        ok->subscribeEvent(CEGUI::PushButton::EventClicked, [nameBox, confirm](const CEGUI::EventArgs&) {
            confirm(nameBox ? fromGuiString(nameBox->getText()) : std::string());
            return true;
        });
    if (CEGUI::Window* cancel = child(*window, "CancelButton"))
        cancel->subscribeEvent(CEGUI::PushButton::EventClicked, [finish](const CEGUI::EventArgs&) {
            finish(false);
            return true;
        });
    window->subscribeEvent(CEGUI::FrameWindow::EventCloseClicked, [finish](const CEGUI::EventArgs&) {
        finish(false);
        return true;
    });
    if (auto* list = static_cast<CEGUI::Listbox*>(child(*window, "Listbox"))) {
        // One click puts a file's name in the name box; a double click opens
        // a folder or takes the file.
        list->subscribeEvent(CEGUI::Listbox::EventSelectionChanged, [list, nameBox](const CEGUI::EventArgs&) {
            CEGUI::ListboxItem* item = list->getFirstSelectedItem();
            if (item && nameBox) {
                const std::string entry = fromGuiString(item->getText());
                if (entry != ".." && entry.back() != '/')
                    nameBox->setText(item->getText());
            }
            return true;
        });
        list->subscribeEvent(CEGUI::Window::EventMouseDoubleClick, [list, confirm](const CEGUI::EventArgs&) {
            if (CEGUI::ListboxItem* item = list->getFirstSelectedItem())
                confirm(fromGuiString(item->getText()));
            return true;
        });
    }
    self->refresh();
    gui.getRootWindow()->addChild(window);
    centre(*window);
    window->setAlwaysOnTop(true);
    if (hooks.begin)
        hooks.begin();
    window->activate();
    window->setModalState(true);
}

std::optional<OpenDialogInfo> DialogFactory_CEGUI::getOpenDialog() const {
    if (open.empty())
        return std::nullopt;
    return open.back()->info();
}

std::string DialogFactory_CEGUI::choose(const std::string& path) {
    FileDialogWindow* dialog = nullptr;
    for (auto it = open.rbegin(); it != open.rend() && !dialog; ++it)
        dialog = dynamic_cast<FileDialogWindow*>(it->get());
    if (!dialog)
        return "no file dialog is open";
    auto done = std::move(dialog->finish);
    close(dialog);
    if (done) {
        if (path == "cancel")
            done(false, "");
        else
            done(true, path);
    }
    return "";
}

} // namespace Kiln
