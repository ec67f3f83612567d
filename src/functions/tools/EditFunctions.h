#pragma once
// Editing the scene's structure: copy, cut, paste, delete, group and
// ungroup. Every change but copy is one history entry. Nodes that leave the
// scene are held by their entry until the entry is dropped.
#include "functions/FunctionBase.h"
#include "functions/tools/ToolSupport.h"

#include <memory>
#include <vector>

/// Copies of top-level items and the mean of their positions when copied
/// (scene root frame). Owned by the copy function; cut and paste reach it
/// through that function.
class Clipboard {
public:
    /// Replaces the contents with copies of the live items; an empty list
    /// leaves the clipboard as it was.
    void fill(const std::vector<Kiln::ObjectHandle>& items);
    bool empty() const { return copies.empty(); }
    const std::vector<std::unique_ptr<Kiln::ObjectGroup>>& getCopies() const { return copies; }
    const Ogre::Vector3& getReferencePoint() const { return referencePoint; }

private:
    std::vector<std::unique_ptr<Kiln::ObjectGroup>> copies;
    Ogre::Vector3 referencePoint = Ogre::Vector3::ZERO;
};

class CopyFunction : public FunctionBase {
public:
    explicit CopyFunction(FunctionContext& context);
    /// The selection goes to the clipboard and is then deselected. No entry.
    void execute() override;
    /// Control alone + C.
    void keyReleased(const OIS::KeyEvent& event) override;
    Clipboard& getClipboard() { return clipboard; }
    /// The program's clipboard, or null when the copy function is missing.
    static Clipboard* find(const FunctionContext& context);

private:
    Clipboard clipboard;
};

class CutFunction : public FunctionBase {
public:
    explicit CutFunction(FunctionContext& context);
    /// The selection goes to the clipboard and leaves the scene.
    void execute() override;
    /// Control alone + X.
    void keyReleased(const OIS::KeyEvent& event) override;
};

class DeleteObjectFunction : public FunctionBase {
public:
    explicit DeleteObjectFunction(FunctionContext& context);
    /// The selection leaves the scene.
    void execute() override;
    /// The Delete key.
    void keyReleased(const OIS::KeyEvent& event) override;
};

class PasteState;

/// As a command: Control+F (or execute) pastes where the copied items
/// stood, Control+V with the clipboard's reference point at the stylus. As
/// a tool: a centre press pastes at the stylus and the drag places the
/// copies. Haptics stay off while the tool is active, so that the stylus
/// does not stick in the copies it carries.
class PasteFunction : public FunctionBase {
public:
    explicit PasteFunction(FunctionContext& context);
    ~PasteFunction() override;

    void execute() override;
    void activate() override;
    void deactivate() override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

private:
    /// Puts copies of the clipboard into the scene, selected, into a new
    /// `state`; false (and a message) when the clipboard is empty.
    bool paste();
    void offsetCopies(const Ogre::Vector3& offset);

    std::unique_ptr<PasteState> state;
    bool pasteMode = false;
    Ogre::Vector3 referencePoint = Ogre::Vector3::ZERO;
    Ogre::Vector3 lastStylus = Ogre::Vector3::ZERO;  ///< scene root frame
};

/// Control (left or right) + G groups, whichever tool is active; so does
/// the centre button while this tool is active.
class GroupingFunction : public FunctionBase {
public:
    explicit GroupingFunction(FunctionContext& context);
    std::unique_ptr<FunctionState> invoke() override { return nullptr; }
    /// Two or more selected items go into a new group under the scene root,
    /// staying where they are in the world.
    void execute() override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
};

class UnGroupFunction : public FunctionBase {
public:
    explicit UnGroupFunction(FunctionContext& context);
    /// The selected top-level groups dissolve: their children go to the
    /// scene root, staying where they are in the world.
    void execute() override;
    void buttonPressed(const FunctionButtonEvent& event) override;
};
