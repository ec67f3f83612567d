#pragma once
// The stiffness slider: while this tool is active, moving the slider sets
// the "stiffness" of the selected objects to 0.05 + 0.95 × the slider value
// (0..1). One history entry per gesture, not per value: a gesture ends when
// the slider reports its release ("done"), when the tool is left, or after
// half a second without a change.
//
// Its argument is either the slider window's name (bound by the GUI), a
// slider value as a number (sent by the GUI while it moves, or by a
// session script), or "done".
#include "functions/FunctionBase.h"

#include <map>
#include <memory>

class StiffnessState;

class StiffnessFunction : public FunctionBase {
public:
    /// The stiffness of new objects when no slider was ever moved.
    static constexpr float defaultSliderValue = 0.5f;
    static float stiffnessFor(float sliderValue) { return 0.05f + 0.95f * sliderValue; }

    explicit StiffnessFunction(FunctionContext& context);
    ~StiffnessFunction() override;

    void onArgumentSet() override;
    void deactivate() override;
    bool update(const Ogre::FrameEvent& event) override;

    /// The slider moved to `value` (clamped to 0..1).
    void sliderMoved(float value);
    /// The slider was let go: the gesture's entry goes to the history.
    void sliderReleased();
    float getSliderValue() const { return sliderValue; }
    /// The stiffness new objects get.
    float getStiffness() const { return stiffnessFor(sliderValue); }

    /// Seconds without a change after which a gesture counts as finished.
    static constexpr float gestureGap = 0.5f;

private:
    std::unique_ptr<StiffnessState> state;
    float sliderValue = defaultSliderValue;
    float idleSeconds = 0.f;
    std::string sliderWindow;
};
