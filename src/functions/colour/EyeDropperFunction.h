#pragma once
// Takes the colour of the touched surface into the colour box: while the
// centre button is held on a touched object the current colour follows the
// colour of the mesh vertex nearest the contact. No history entry.
#include "functions/FunctionBase.h"

class ColourChooserBox;

class EyeDropperFunction : public FunctionBase {
public:
    explicit EyeDropperFunction(FunctionContext& context);

    void init() override;
    void activate() override;
    void deactivate() override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    bool isPicking() const { return picking; }

private:
    /// Sets the box colour from the first touched object; nothing when the
    /// stylus touches nothing (it may leave the surface mid-drag).
    void pick(const Kiln::HapticEvent& event);

    ColourChooserBox* colourBox = nullptr;
    bool picking = false;
};
