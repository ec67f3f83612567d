#pragma once
// Hosts the colour box and the current colour every colour tool (and the
// creation tool) uses. A command, so it hears the grip in the background
// whatever tool is active: pressing the centre button inside the visible box
// and dragging picks the colour under the stylus. The GUI check box named by
// the argument shows and hides the box and keeps View.ColorBox.
#include "functions/FunctionBase.h"
#include "functions/colour/ColourChooserBox.h"

#include <memory>

class ColourFunction : public FunctionBase, public IColourSource {
public:
    explicit ColourFunction(FunctionContext& context);

    /// The first argument names the box's GUI check box; a name the GUI
    /// lacks throws Kiln::Exception (code 3). The check box takes the state
    /// of View.ColorBox.
    void onArgumentSet() override;
    /// Shows the box as View.ColorBox says (shown by default).
    void init() override;
    /// Toggles the box: through its check box when there is one.
    void execute() override;
    /// Follows the check box (read once a frame, so clicks, keys and
    /// scripts all go the same way).
    bool update(const Ogre::FrameEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    /// A press of the centre button inside the visible box, nothing
    /// touched: the box picks, whatever tool is active.
    bool claimsButtonPress(const FunctionButtonEvent& event) const override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    ColourChooserBox& getColourBox() { return *colourBox; }
    Ogre::ColourValue getCurrentColour() const override { return colourBox->getColour(); }
    BoxShape getBoxShape() const override;
    void setBoxVisible(bool on);

    /// The colour box of the registered "ColourFunction", or null.
    static ColourChooserBox* findColourBox(const FunctionManager* functions);
    /// The current colour, white when there is no colour function.
    static Ogre::ColourValue currentColour(const FunctionManager* functions);

private:
    bool nothingTouched() const;

    std::unique_ptr<ColourChooserBox> colourBox;
    std::string checkbox;
    bool dragging = false;
    bool hovering = false;
};
