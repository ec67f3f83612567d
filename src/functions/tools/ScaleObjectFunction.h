#pragma once
// Scales the selection with the stylus while the centre button is held:
// moving the stylus right by s view units scales by exp(0.1 s). Uniform by
// default; Shift alone held at the press scales each axis by its own
// component; X, Y and Z lock uniform scaling to those axes. Any change of
// these keys during a drag keeps the scale reached so far and scales on
// from there. While it drags, markers at the stylus show the axes that
// scale, and a single item shows its size beside it in the grid's unit.
// The creation tool sizes new objects through the same drag.
#include "functions/FunctionBase.h"
#include "functions/tools/ToolSupport.h"
#include "functions/tools/TransformStates.h"
#include "hapticdevice/HapticForceEffect.h"

#include <memory>
#include <mutex>

class ScaleObjectFunction : public FunctionBase, public IToolMarks {
public:
    /// While a drag runs the hand is held in a box around the device's
    /// rest point; pushing against a wall goes on scaling as if the hand
    /// still moved that way. Device frame, world units. Called on the
    /// device thread; the shift it gathers is taken on the main thread.
    class HapticBox : public Kiln::IHapticForceEffect {
    public:
        static constexpr float halfSize = 14.f;
        static constexpr float depthOffset = 10.f;
        /// Fraction of the wall force by which the drag's start point moves per tick.
        static constexpr float shiftRate = 0.01f;

        Ogre::Vector3& computeForce(Ogre::Vector3& force, Kiln::IHapticsDevice& device) override;
        /// The force for a hand at `devicePoint`; gathers the shift once the
        /// hand has been inside the box (a drag begun outside is not pushed).
        Ogre::Vector3 forceAt(const Ogre::Vector3& devicePoint);
        /// The start-point shift gathered since the last call.
        Ogre::Vector3 takeShift();
        void reset();

    private:
        std::mutex mutex;
        bool armed = false;
        Ogre::Vector3 shift = Ogre::Vector3::ZERO;
    };

    explicit ScaleObjectFunction(FunctionContext& context);
    /// Takes the force box off the device (which outlives the functions).
    ~ScaleObjectFunction() override;

    void activate() override;
    /// Drops a drag in progress without a history entry (the items keep
    /// their scale before the drag).
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    void hapticMoved(const Kiln::HapticEvent& event) override;
    /// Applies what pushing against the force box added since the last move.
    bool update(const Ogre::FrameEvent& event) override;
    void buttonPressed(const FunctionButtonEvent& event) override;
    void buttonReleased(const FunctionButtonEvent& event) override;

    // The drag, for the creation tool.
    /// A new drag state holding only `node` with its current scale.
    void setTarget(Kiln::ObjectGroup& node);
    /// Starts the drag at the event's stylus point (Shift alone held:
    /// per-axis scaling).
    void beginScaling(const Kiln::HapticEvent& event);
    /// Keeps the scale reached so far and scales on from the current point.
    void rebase();
    /// The same from the event's stylus point.
    void rebase(const Kiln::HapticEvent& event);
    /// Ends the drag's side effects and forgets its state (no history entry).
    void finishScaling();

    bool isDragging() const { return state != nullptr; }
    bool isNonUniform() const { return nonUniform; }
    /// The drag's whole factor so far; (1, 1, 1) outside a drag.
    Ogre::Vector3 getFactor() const;
    /// The axis markers at the stylus ("ScaleAxisMarkerX", "…Y", "…Z":
    /// all three for uniform or per-axis scaling, else the locked ones) and
    /// the size read-out "ScaleSizeTextNode" of a single item.
    Marks getToolMarks() const override;
    /// Half the length of an axis marker, world units.
    static constexpr float markerHalfLength = 2.5f;

private:
    void finishDrag();
    void applyScale();
    /// Scales for the current point, start point shifted by the force box.
    void scaleToCurrentPoint();
    void removeForceBox();
    void showSize();
    void hideSize();

    std::unique_ptr<ScaleObjectState> state;
    bool nonUniform = false;
    tools::AxisKeys locks;
    Ogre::Vector3 markerPoint = Ogre::Vector3::ZERO;  ///< the stylus, world frame
    std::string sizeText;                             ///< empty: no read-out
    Ogre::Vector3 sizePoint = Ogre::Vector3::ZERO;    ///< above the item, world frame
    Ogre::Vector3 startPoint = Ogre::Vector3::ZERO;
    Ogre::Vector3 currentPoint = Ogre::Vector3::ZERO;
    HapticBox forceBox;
    Kiln::IHapticsDevice* forceDevice = nullptr;  ///< where the box is installed
};
