#pragma once
// Everything a function may reach, as non-owning pointers. The application
// fills it before the functions are created; any seam may be null when the
// program (or a test) runs without that part, and functions check before use.
#include "functions/FunctionSeams.h"

namespace Kiln {
class IObjectFactory;
class LanguageTable;
class ObjectGroup;
class SelectionManager;
} // namespace Kiln

class FunctionManager;

struct FunctionContext {
    /// Holds the user's objects.
    Kiln::ObjectGroup* sceneRoot = nullptr;
    /// Carries the camera; its frame is the frame the user sees (left,
    /// up, towards the viewer). Null: the world frame stands in.
    Kiln::ObjectGroup* viewRoot = nullptr;
    Kiln::SelectionManager* selection = nullptr;
    /// Makes scene nodes with the presenters the program needs.
    Kiln::IObjectFactory* objectFactory = nullptr;
    /// Titles and help texts by id; null means Kiln::LanguageTable::instance().
    const Kiln::LanguageTable* language = nullptr;
    /// The history and the other functions; set by the FunctionManager.
    FunctionManager* functions = nullptr;

    IStatusSink* status = nullptr;
    IDialogs* dialogs = nullptr;
    IFunctionGui* gui = nullptr;
    IToolHaptics* haptics = nullptr;
    ISceneDocument* document = nullptr;
    ITaskQueue* tasks = nullptr;
    IOverlayTexts* overlay = nullptr;
    IFrameStatistics* frameStatistics = nullptr;
    IViewControl* view = nullptr;
    IViewPicker* picker = nullptr;

    /// The frame counters were asked for on the command line.
    bool showFrameCount = false;
};
