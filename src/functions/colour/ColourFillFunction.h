#pragma once
// Gives every vertex of the selected objects the current colour: at once on
// a click outside the colour box (or when invoked), or live while the user
// drags inside the box, in which case the whole drag is one history entry.
#include "functions/FunctionBase.h"
#include "functions/colour/ColourChooserBox.h"
#include "functions/colour/ColourStates.h"

#include <memory>

class ColourFillFunction : public FunctionBase, public ColourProviderListener {
public:
    explicit ColourFillFunction(FunctionContext& context);
    ~ColourFillFunction() override;

    void init() override;
    void activate() override;
    /// Pushes a live fill still open, then stops listening to the box.
    void deactivate() override;
    void execute() override;
    /// A press inside the visible colour box: the box picks and this tool
    /// fills live along with it.
    bool claimsButtonPress(const FunctionButtonEvent& event) const override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;
    void colourChanged(const Ogre::ColourValue& colour) override;

    bool isLiveFilling() const { return liveFill; }

private:
    std::vector<Kiln::Object*> selectedObjects() const;
    Ogre::ColourValue boxColour() const;
    void finishLiveFill();

    std::unique_ptr<ColourFillState> state;
    ColourChooserBox* colourBox = nullptr;
    bool liveFill = false;
};
