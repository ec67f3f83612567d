#pragma once
// The default tool: a straight line from where the centre button goes down
// to where it comes up, drawn while the button is held. The line is a thin
// closed bar (a scene object like any other), one history entry each.
#include "functions/FunctionBase.h"
#include "functions/tools/CreateObjectFunction.h"

#include <memory>

namespace Kiln {
class DynamicMesh;
}

class LineFunction : public FunctionBase {
public:
    /// Half the bar's width, scene root units.
    static constexpr float halfWidth = 0.1f;

    explicit LineFunction(FunctionContext& context);
    ~LineFunction() override;

    std::unique_ptr<FunctionState> invoke() override { return nullptr; }
    void deactivate() override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    /// A bar of square section 2 × halfWidth from `from` to `to`, centred
    /// on the origin (the caller places it at the midpoint); null when the
    /// points coincide.
    static std::unique_ptr<Kiln::DynamicMesh> buildBar(const Ogre::Vector3& from, const Ogre::Vector3& to);

private:
    void drawTo(const Ogre::Vector3& end);
    void finishLine();

    bool drawing = false;
    Ogre::Vector3 start = Ogre::Vector3::ZERO;
    Kiln::ObjectHandle line;
    std::unique_ptr<CreateObjectState> state;
};

/// Measures the distance between where the centre button goes down and
/// where the stylus is, in the grid's unit: a line between the two points
/// with "Length is: " floating beside it while dragging, "Measured Length
/// is: " at the release (also as a message). The last measurement stays
/// shown until the next press or until the tool is left. Changes nothing
/// in the scene.
class MeasureFunction : public FunctionBase, public IToolMarks {
public:
    explicit MeasureFunction(FunctionContext& context);
    void deactivate() override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    /// "MeasureLineNode" and the text "MeasureTextNode" at its middle.
    Marks getToolMarks() const override;

    bool isMeasuring() const { return measuring; }
    /// The last length measured, scene root units.
    float getLength() const { return length; }

private:
    void measureTo(const Kiln::HapticEvent& event, const char* lead);

    bool measuring = false;
    Ogre::Vector3 start = Ogre::Vector3::ZERO;
    float length = 0.f;
    std::string text;  ///< empty: nothing shown
    Ogre::Vector3 startWorld = Ogre::Vector3::ZERO;
    Ogre::Vector3 endWorld = Ogre::Vector3::ZERO;
};
