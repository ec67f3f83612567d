#pragma once
// Shows the render window's average, best and worst frame rates in three
// overlay texts, refreshed every frame, when the frame counters were asked
// for on the command line.
#include "functions/FunctionBase.h"

class FrameRateFunction : public FunctionBase {
public:
    explicit FrameRateFunction(FunctionContext& context);
    /// Removes the texts it made.
    ~FrameRateFunction() override;

    /// Makes the texts (placed by "FrameRate.Position.Relative" and sized
    /// by "FrameRate.Size.Relative").
    void init() override;
    bool update(const Ogre::FrameEvent& event) override;

    static constexpr const char* AVERAGE_TEXT = "TxtAvgFps";
    static constexpr const char* BEST_TEXT = "TxtBestFps";
    static constexpr const char* WORST_TEXT = "TxtWorstFps";

private:
    bool shown() const;

    bool textsMade = false;
};
