#pragma once
// The stiffness slider: while this tool is active, moving the slider sets
// the "stiffness" of the selected objects to 0.05 + 0.95 × the slider value
// (0..1), and the slider shows the stiffness of the first selected object
// whenever the selection changes. One history entry per gesture, not per
// value, so that one drag cannot flood the history: a gesture ends when the
// user lets go of the slider's thumb (a click beside it is a gesture of its
// own), when the tool is left, or, for values given as arguments, on
// "done" or after half a second without a change.
//
// The slider window is read once a frame, so its value also sets the
// stiffness of new objects while another tool is active. The argument is
// either the slider window's name (bound by the GUI), a slider value as a
// number (a session script), or "done".
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
    void activate() override;
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
    /// Takes a change the user made on the slider window since the last frame.
    void readSlider();
    /// Whether the gesture in progress is over.
    bool gestureEnded() const;
    /// Moves the slider to the stiffness of the first selected object when
    /// the selection changed since it was last shown.
    void showSelectedStiffness();
    /// Puts the slider window at `value` (without counting it as a change).
    void showOnSlider(float value);

    std::unique_ptr<StiffnessState> state;
    float sliderValue = defaultSliderValue;
    float idleSeconds = 0.f;
    std::string sliderWindow;
    /// What the slider window showed when last read or set.
    float seenOnSlider = defaultSliderValue;
    /// The object whose stiffness the slider shows.
    Kiln::ObjectHandle shownFor;
    /// The gesture in progress came from the slider window (its thumb ends
    /// it), not from arguments ("done" or a pause ends it).
    bool gestureOnSlider = false;
};
