#pragma once
// Paints the touched object with a soft round brush in the current colour
// while the centre button is held. One history entry per stroke.
#include "functions/FunctionBase.h"
#include "functions/brush/Brush.h"
#include "functions/colour/ColourStates.h"

#include <memory>

class PaintFunction : public FunctionBase {
public:
    explicit PaintFunction(FunctionContext& context);

    void activate() override;
    /// Ends a running stroke (pushing it) before the stylus turns white.
    void deactivate() override;
    /// Starts a stroke when button 0 is held over a touched object; paints
    /// while the stroke's object stays touched and ends the stroke otherwise.
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    bool isPainting() const { return state != nullptr; }

    /// The brush weight at squared distance `d2` from the centre of a brush
    /// of squared radius `r2`: 1 at the centre, 0.5 at r2 / 2, 0 from r2 on.
    static float brushWeight(float d2, float r2);

private:
    void startStroke(const Kiln::HapticEvent& event);
    void paintPass(const Kiln::HapticEvent& event);
    void endStroke();
    bool targetTouched() const;

    std::unique_ptr<PaintState> state;
    Kiln::ObjectHandle target;
    BrushCandidates candidates;
    std::vector<std::uint32_t> found;
};
