#include "app/GuiLayer.h"

#include "app/AppContext.h"
#include "app/MouseNavigation.h"
#include "config/LanguageTable.h"
#include "functions/FunctionManager.h"
#include "graphics/GraphicsManager.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticStylus.h"
#include "input/InputManager.h"
#include "log/DebugChannel.h"
#include "platform/UserFolders.h"

#include <CEGUI/CEGUI.h>
#include <OgreRenderWindow.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace Kiln {
namespace {

int guiButtonOf(OIS::MouseButtonID id) {
    switch (id) {
    case OIS::MB_Left: return 0;
    case OIS::MB_Middle: return 2;
    default: return 1;
    }
}

bool sameWord(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool isShift(const IKeyState& keys) { return keys.isKeyDown(OIS::KC_LSHIFT) || keys.isKeyDown(OIS::KC_RSHIFT); }
bool isControl(const IKeyState& keys) {
    return keys.isKeyDown(OIS::KC_LCONTROL) || keys.isKeyDown(OIS::KC_RCONTROL);
}

} // namespace

GuiLayer::GuiLayer(AppContext& context) : context(context) {
    GraphicsManager& graphics = *context.graphicsManager;
    ensureDirectory(userDataFolder());
    gui.initialize(*graphics.getRenderWindow(), "cegui.config", "Morvel.layout", "GUI",
                   userDataFolder() + "/cegui.log");
    gui.resized(graphics.getWindowWidth(), graphics.getWindowHeight());
    gui.setCursorVisible(false);
    translateLayoutTexts();
    status = std::make_unique<StatusMessage>(&graphics, &gui);
    dialogs = std::make_unique<DialogFactory_CEGUI>(gui, ModalHooks{[this] { beginModal(); },
                                                                    [this] { endModal(); }});
}

void GuiLayer::translateLayoutTexts() {
    // The layout is written in English; a window with a "TextId" shows the
    // user's language's text of that number instead, in a font that has
    // its letters. English texts keep the layout's own font (bold headings).
    const LanguageTable& language = LanguageTable::instance();
    gui.forEachWindow([&](CEGUI::Window& window) {
        if (!window.isUserStringDefined("TextId"))
            return;
        const std::string text = language.lookup(std::atoi(window.getUserString("TextId").c_str()));
        if (text.empty() || text == fromGuiString(window.getText()))
            return;
        const std::string font = language.fontFor(text);
        if (!font.empty() && CEGUI::FontManager::getSingleton().isDefined(font))
            window.setFont(font);
        window.setText(toGuiString(text));
    });
}

GuiLayer::~GuiLayer() {
    splash.reset();
    picture.reset();
    guiManager.reset();
    dialogs.reset();
    status.reset();
}

void GuiLayer::beginModal() {
    context.beginModal();
    gui.setModal(true);
    if (navigation)
        navigation->setEnabled(false);
    if (!stylusMouse)
        gui.setCursorVisible(true);
}

void GuiLayer::endModal() {
    context.endModal();
    if (context.getModalDepth() == 0) {
        gui.setModal(false);
        if (navigation)
            navigation->setEnabled(true);
        gui.setCursorVisible(false);
    }
}

void GuiLayer::loadSettings(FunctionManager& manager, const std::string& file) {
    functions = &manager;
    guiManager = std::make_unique<GuiManager>(gui, status.get(), *this, [this](const std::string& text) {
        showMessage("Error", text);
    });
    guiManager->loadSettings(file);
}

void GuiLayer::functionsReady() {
    guiManager->reapplyArguments();
    guiManager->resolveQuickHelp();
    syncToolButtons();
}

void GuiLayer::showSplash(const std::string& imageFile, float seconds) {
    try {
        splash = std::make_unique<PictureWindow>(gui, imageFile, [this] { splashLeft = 0.f; });
    } catch (const std::exception& e) {
        // Ogre's and the toolkit's exceptions alike: no splash, no harm.
        debugChannel("GUI") << "No splash: " << e.what() << Kiln::endl;
        return;
    }
    splashLeft = seconds;
    gui.setWindowVisible("RootCanvas", false);
    beginModal();
}

void GuiLayer::update(float seconds) {
    GraphicsManager& graphics = *context.graphicsManager;
    gui.resized(graphics.getWindowWidth(), graphics.getWindowHeight());
    gui.advanceTime(seconds);
    if (splash) {
        splashLeft -= seconds;
        if (splashLeft <= 0.f) {
            splash.reset();
            gui.setWindowVisible("RootCanvas", true);
            endModal();
        }
    }
    syncToolButtons();
}

void GuiLayer::syncToolButtons() {
    if (!functions || !guiManager)
        return;
    const FunctionBase* tool = functions->getActiveTool();
    const std::string active = tool ? tool->getName() : "";
    const std::string argument = tool && !tool->getArguments().empty() ? tool->getArguments().front() : "";
    if (active == lastActiveTool && !active.empty() && active != "CreateObject")
        return;
    lastActiveTool = active;
    // The tool buttons of all panels form one group: exactly the active
    // tool's button shows selected (the one with its argument, where
    // several windows run the same tool).
    std::string chosen;
    for (const WindowBinding& binding : guiManager->getBindings()) {
        if (binding.event != "MouseClick" || binding.function != active)
            continue;
        if (!dynamic_cast<CEGUI::RadioButton*>(gui.getWindow(binding.window)))
            continue;
        // The tools read their argument in any case ("sphere", "SPHERE").
        if (chosen.empty() || (binding.hasArgument && sameWord(binding.argument, argument)))
            chosen = binding.window;
    }
    for (const WindowBinding& binding : guiManager->getBindings()) {
        auto* radio = dynamic_cast<CEGUI::RadioButton*>(gui.getWindow(binding.window));
        if (!radio || binding.event != "MouseClick")
            continue;
        const bool selected = binding.window == chosen;
        if (radio->isSelected() != selected) {
            radio->setMutedState(true);
            radio->setSelected(selected);
            radio->setMutedState(false);
        }
    }
}

void GuiLayer::setViewMouse(OIS::MouseListener* stylus, MouseNavigation* nav) {
    stylusMouse = stylus;
    navigation = nav;
}

void GuiLayer::setShortcutKeys(OIS::KeyListener* functionListener, OIS::KeyListener* navigationListener) {
    functionKeys = functionListener;
    navigationKeys = navigationListener;
}

// ------------------------------------------------------------- IFunctionGui

bool GuiLayer::hasWindow(const std::string& window) const { return gui.getWindow(window) != nullptr; }

void GuiLayer::setEnabled(const std::string& window, bool enabled) {
    if (CEGUI::Window* found = gui.getWindow(window))
        found->setEnabled(enabled);
}

void GuiLayer::setVisible(const std::string& window, bool visible) {
    CEGUI::Window* found = gui.getWindow(window);
    if (!found)
        return;
    found->setVisible(visible);
    if (auto* entry = dynamic_cast<CEGUI::ItemEntry*>(found))
        parkMenuEntry(*entry, !visible);
}

void GuiLayer::parkMenuEntry(CEGUI::ItemEntry& entry, bool park) {
    // A menu makes room for every entry it holds, shown or not, so a hidden
    // entry would leave a gap: it waits in a hidden holder instead, still
    // found by its name, and comes back at the end of its menu.
    const auto parked = parkedEntries.find(&entry);
    if (park && parked == parkedEntries.end() && entry.getOwnerList()) {
        CEGUI::Window* root = gui.getRootWindow();
        if (!root)
            return;
        if (!entryParking) {
            entryParking = CEGUI::WindowManager::getSingleton().createWindow("DefaultWindow", "ParkedMenuEntries");
            entryParking->setVisible(false);
            root->addChild(entryParking);
        }
        CEGUI::ItemListBase* menu = entry.getOwnerList();
        entry.setDestroyedByParent(false);
        menu->removeItem(&entry);
        entry.setDestroyedByParent(true);
        entryParking->addChild(&entry);
        parkedEntries[&entry] = menu;
    } else if (!park && parked != parkedEntries.end()) {
        CEGUI::ItemListBase* menu = parked->second;
        parkedEntries.erase(parked);
        entryParking->removeChild(&entry);
        menu->addItem(&entry);
    }
}

void GuiLayer::selectRadioButton(const std::string& window) {
    if (auto* radio = dynamic_cast<CEGUI::ToggleButton*>(gui.getWindow(window)))
        radio->setSelected(true);
}

void GuiLayer::subscribeClick(const std::string& window, std::function<void()> onClick) {
    CEGUI::Window* found = gui.getWindow(window);
    if (!found)
        return;
    const CEGUI::String event = dynamic_cast<CEGUI::MenuItem*>(found) ? CEGUI::MenuItem::EventClicked
                                                                        : CEGUI::PushButton::EventClicked;
    found->subscribeEvent(event, [onClick](const CEGUI::EventArgs&) {
        onClick();
        return true;
    });
}

std::vector<std::pair<std::string, std::string>> GuiLayer::windowsNamingFunctions() const {
    std::vector<std::pair<std::string, std::string>> result;
    gui.forEachWindow([&](CEGUI::Window& window) {
        // A window with a text of its own keeps it over its function's title.
        if (window.isUserStringDefined("FunctionName") && !window.isUserStringDefined("TextId"))
            result.emplace_back(InterfaceManager::windowName(window),
                                fromGuiString(window.getUserString("FunctionName")));
    });
    return result;
}

void GuiLayer::setWindowText(const std::string& window, const std::string& text, const std::string& font) {
    CEGUI::Window* found = gui.getWindow(window);
    if (!found)
        return;
    if (!font.empty() && CEGUI::FontManager::getSingleton().isDefined(font))
        found->setFont(font);
    found->setText(toGuiString(text));
}

bool GuiLayer::isSelected(const std::string& window) const {
    const auto* toggle = dynamic_cast<const CEGUI::ToggleButton*>(gui.getWindow(window));
    return toggle && toggle->isSelected();
}

void GuiLayer::setSelected(const std::string& window, bool selected) {
    auto* toggle = dynamic_cast<CEGUI::ToggleButton*>(gui.getWindow(window));
    if (!toggle || toggle->isSelected() == selected)
        return;
    toggle->setMutedState(true);
    toggle->setSelected(selected);
    toggle->setMutedState(false);
}

std::string GuiLayer::getWindowText(const std::string& window) const {
    const CEGUI::Window* found = gui.getWindow(window);
    return found ? fromGuiString(found->getText()) : "";
}

float GuiLayer::getValue(const std::string& window) const {
    const auto* slider = dynamic_cast<const CEGUI::Slider*>(gui.getWindow(window));
    return slider ? slider->getCurrentValue() : 0.f;
}

void GuiLayer::setValue(const std::string& window, float value) {
    auto* slider = dynamic_cast<CEGUI::Slider*>(gui.getWindow(window));
    if (!slider)
        return;
    slider->setMutedState(true);
    slider->setCurrentValue(std::clamp(value, 0.f, slider->getMaxValue()));
    slider->setMutedState(false);
}

bool GuiLayer::isValueTracking(const std::string& window) const {
    const auto* slider = dynamic_cast<const CEGUI::Slider*>(gui.getWindow(window));
    // The thumb holds the mouse from its press to its release.
    return slider && slider->getThumb()->isCapturedByThis();
}

void GuiLayer::setPanelsShown(bool shown) {
    panelsShown = shown;
    for (CEGUI::Window* panel : gui.getPanels())
        panel->setVisible(shown);
    for (const char* menu : {"Root/ObjectsMenu", "Root/GroupMenu", "Root/PropertiesMenu", "Root/EditMenu",
                             "Root/ViewMenu", "Root/UnitMenu", "Root/Preference"})
        if (auto* item = dynamic_cast<CEGUI::MenuItem*>(gui.getWindow(menu)))
            item->closePopupMenu(false);
}

// ------------------------------------------------------------------ IDialogs

void GuiLayer::showMessage(const std::string& title, const std::string& text) {
    lastError = text;
    dialogs->messageBox(title, text, GMBB_OK, nullptr);
}

void GuiLayer::showPicture(const std::string& imageFile, const std::string& caption) {
    try {
        picture.reset();
        picture = std::make_unique<PictureWindow>(gui, imageFile, [this] { picture->getWindow()->hide(); },
                                                  caption);
    } catch (const std::exception& e) {
        post("Cannot show " + imageFile, 0.f, 3);
        debugChannel("GUI") << e.what() << Kiln::endl;
    }
}

void GuiLayer::askSaveFile(const std::string& title, const std::string& filters, const std::string& proposedName,
                           std::function<void(const std::string* path)> done) {
    dialogs->saveFile(title, filters, [done](const SaveFileResult& result) {
        if (done)
            done(result.chosen ? &result.path : nullptr);
    }, proposedName);
}

void GuiLayer::ask(const std::string& title, const std::string& text, int buttons,
                   std::function<void(int result)> done) {
    dialogs->messageBox(title, text, buttons, [done](GuiMessageBoxResult result) {
        if (done)
            done(int(result));
    });
}

void GuiLayer::askOpenFile(const std::string& title, const std::string& filters,
                           std::function<void(const std::string* path)> done) {
    dialogs->openFile(title, filters, [done](const OpenFileResult& result) {
        if (done)
            done(result.chosen ? &result.path : nullptr);
    });
}

// --------------------------------------------------------------- IStatusSink

void GuiLayer::post(const std::string& text, float seconds, int type) {
    status->showMessageFor(text, seconds, type);
}

void GuiLayer::setFunctionBar(const std::string& title) {
    status->setFunctionText(title, LanguageTable::instance().fontFor(title));
}

void GuiLayer::setHelpText(const std::string& text) {
    helpText = text;
    status->setStatusText(text, LanguageTable::instance().fontFor(text));
}

void GuiLayer::beginBusy(const std::string& text) {
    status->setStatusText(text, LanguageTable::instance().fontFor(text));
    status->setPaused(true);
}

void GuiLayer::endBusy() {
    status->setPaused(false);
    status->setStatusText(helpText, LanguageTable::instance().fontFor(helpText));
}

// ------------------------------------------------------------- IGuiFunctions

bool GuiLayer::hasFunction(const std::string& name) const {
    return functions && functions->findFunction(name) != nullptr;
}

void GuiLayer::setFunctionArgument(const std::string& name, const std::string& argument) {
    if (functions)
        functions->setFunctionArgument(name, argument);
}

bool GuiLayer::invokeFunction(const std::string& name) {
    if (!functions)
        return false;
    if (name != "Undo" && name != "Redo" && !functions->findFunction(name)) {
        post(name + " is not available yet.", 0.f, 2);
        return false;
    }
    return functions->invokeFunction(name);
}

// ------------------------------------------------------------------ keyboard

bool GuiLayer::keyPressed(const OIS::KeyEvent& event) {
    const unsigned code = unsigned(event.key) & 0xFFu;
    if (gui.isEditboxFocused() && event.key != OIS::KC_ESCAPE) {
        keysToGui[code] = true;
        gui.injectKey(code, true);
        gui.injectChar(event.text);
        return true;
    }
    keysToGui[code] = false;
    if (functionKeys)
        functionKeys->keyPressed(event);
    if (navigationKeys)
        navigationKeys->keyPressed(event);
    return true;
}

bool GuiLayer::keyReleased(const OIS::KeyEvent& event) {
    const unsigned code = unsigned(event.key) & 0xFFu;
    // A release goes where its press went, so that a shortcut's press and
    // release are never split between the edit box and the tools.
    if (keysToGui[code]) {
        keysToGui[code] = false;
        gui.injectKey(code, false);
        return true;
    }
    if (functionKeys)
        functionKeys->keyReleased(event);
    if (navigationKeys)
        navigationKeys->keyReleased(event);
    return true;
}

// --------------------------------------------------------------------- mouse

bool GuiLayer::mouseMoved(const OIS::MouseEvent& event) {
    const OIS::MouseState& state = event.state;
    gui.injectMousePosition(float(state.X.abs), float(state.Y.abs));
    const bool overGui = gui.isModal() || gui.isOverGui(float(state.X.abs), float(state.Y.abs));
    if (pressOwner[OIS::MB_Middle] == Owner::Navigation && navigation) {
        if (isShift(*context.inputManager))
            navigation->pan(float(state.X.rel), float(state.Y.rel));
        else
            navigation->orbit(float(state.X.rel), float(state.Y.rel));
    }
    if (state.Z.rel != 0) {
        const float notches = float(state.Z.rel) / 120.f;
        if (overGui) {
            gui.injectMouseWheel(notches);
            return true;
        }
        if (isControl(*context.inputManager)) {
            if (navigation)
                navigation->zoom(notches);
            return true;
        }
    }
    if (stylusMouse && !gui.isModal())
        stylusMouse->mouseMoved(event);
    return true;
}

bool GuiLayer::mousePressed(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    const OIS::MouseState& state = event.state;
    const std::size_t slot = std::size_t(id) < pressOwner.size() ? std::size_t(id) : pressOwner.size() - 1;
    gui.injectMousePosition(float(state.X.abs), float(state.Y.abs));
    if (gui.isModal() || gui.isOverGui(float(state.X.abs), float(state.Y.abs))) {
        pressOwner[slot] = Owner::Gui;
        gui.injectMouseButton(guiButtonOf(id), true);
        return true;
    }
    // A click in the view takes the keyboard focus from any edit box.
    if (CEGUI::Window* active = gui.getRootWindow()->getActiveChild())
        if (dynamic_cast<CEGUI::Editbox*>(active))
            active->deactivate();
    if (id == OIS::MB_Middle && navigation) {
        pressOwner[slot] = Owner::Navigation;
        return true;
    }
    pressOwner[slot] = Owner::Stylus;
    if (stylusMouse)
        stylusMouse->mousePressed(event, id);
    return true;
}

bool GuiLayer::mouseReleased(const OIS::MouseEvent& event, OIS::MouseButtonID id) {
    const std::size_t slot = std::size_t(id) < pressOwner.size() ? std::size_t(id) : pressOwner.size() - 1;
    const Owner owner = pressOwner[slot];
    pressOwner[slot] = Owner::None;
    switch (owner) {
    case Owner::Gui:
        gui.injectMouseButton(guiButtonOf(id), false);
        break;
    case Owner::Stylus:
        if (stylusMouse)
            stylusMouse->mouseReleased(event, id);
        break;
    default:
        break;
    }
    return true;
}

} // namespace Kiln
