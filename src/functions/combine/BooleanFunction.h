#pragma once
// Combines exactly two selected objects with the exact Boolean kernel and
// replaces them by the result, one history entry per operation. The
// operation comes from the GUI ("Union", "Subtraction", "Intersection") or
// a key: U union, I intersection, X second minus first plus the removed
// piece beside it, B first minus second. Key 1 sets (or swaps) the operand
// order and shows the first operand in wireframe while held.
//
// Large operands are computed on a worker thread: the scene stays as it is,
// the status bar shows the time spent, and Escape abandons the operation.
#include "functions/FunctionBase.h"
#include "functions/combine/BooleanJob.h"
#include "functions/combine/SceneExchange.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace Kiln {
class Object;
} // namespace Kiln

enum BooleanOperationCode : std::uint32_t {
    BOOLEAN_NONE = 0,
    BOOLEAN_UNION = 1,
    BOOLEAN_INTERSECTION = 2,
    BOOLEAN_FIRST_MINUS_SECOND = 3,
    BOOLEAN_SECOND_MINUS_FIRST_WITH_PIECE = 4
};

/// The operands leave the scene and the results enter it; undo brings the
/// operands back selected.
class BooleanState : public FunctionState {
public:
    BooleanState(const FunctionBase* function, Kiln::ObjectGroup& root, Kiln::SelectionManager* selection,
                 SceneExchange exchange, std::vector<Kiln::ObjectHandle> operands);
    void undo() override;
    void redo() override;

private:
    Kiln::ObjectGroup& root;
    Kiln::SelectionManager* selection;
    SceneExchange exchange;
    std::vector<Kiln::ObjectHandle> operands;
};

class BooleanFunction : public FunctionBase {
public:
    explicit BooleanFunction(FunctionContext& context);
    ~BooleanFunction() override;

    /// "Boolean": the tool button only. "Union", "Subtraction",
    /// "Intersection": select "BooleanButton" and run the operation.
    void onArgumentSet() override;
    void execute() override;
    /// Ends the preview and abandons a background operation.
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    /// Takes a finished background result into the scene.
    bool update(const Ogre::FrameEvent& event) override;

    void setOperation(std::uint32_t code) { operation = code; }
    std::uint32_t getOperation() const { return operation; }
    Kiln::ObjectGroup* getFirst() const { return first.get(); }
    Kiln::ObjectGroup* getSecond() const { return second.get(); }
    Kiln::ObjectGroup* getPreviewObject() const { return previewObject.get(); }
    bool isComputing() const { return job != nullptr; }
    /// Operands of more triangles than this (together) go to a worker thread.
    void setBackgroundThreshold(std::size_t triangles) { backgroundThreshold = triangles; }
    /// Abandons a running background operation; the scene stays unchanged.
    void cancel();

private:
    /// The two selected items in scene order, or an empty list when the
    /// selection does not hold exactly two.
    std::vector<Kiln::ObjectGroup*> selectedPair() const;
    bool isTopLevelObject(const Kiln::ObjectGroup* node) const;
    void takeOperandsFromSelection(const std::vector<Kiln::ObjectGroup*>& pair, bool keepOrder);
    void startPreview();
    void endPreview();
    void startJob();
    void finishJob();
    void fail(const std::string& text);
    void restoreShadows();
    void showProgress();

    Kiln::ObjectHandle first;
    Kiln::ObjectHandle second;
    Kiln::ObjectHandle previewObject;
    std::string previewMaterial;
    std::uint32_t operation = BOOLEAN_NONE;
    /// castShadows of first and second before the operation, restored on
    /// every outcome so that the operands come back as they were.
    std::optional<bool> savedShadows[2];
    std::shared_ptr<BooleanJob> job;
    std::uint32_t jobOperation = BOOLEAN_NONE;
    std::chrono::steady_clock::time_point jobStart;
    std::size_t backgroundThreshold = 50000;
};
