#pragma once
// Sculpting: while the proxy pushes into an object the haptics presenter
// shows a live dent; a click of the centre button makes the dent permanent
// in every touched mesh, one history entry per click. While the tool is
// active surfaces are felt from both sides (so the user can push outwards
// from inside), and holding X, Y or Z restricts dents to that world axis.
#include "functions/FunctionBase.h"
#include "functions/sculpt/DeformState.h"

#include <OgreMatrix3.h>

#include <memory>
#include <vector>

class DeformFunction : public FunctionBase {
public:
    explicit DeformFunction(FunctionContext& context);

    void activate() override;
    /// Finishes an open click first, so that a committed dent always has
    /// its history entry.
    void deactivate() override;
    void keyPressed(const OIS::KeyEvent& event) override;
    void keyReleased(const OIS::KeyEvent& event) override;
    /// Button 0 while touching: commits the live dents.
    void buttonPressed(const FunctionButtonEvent& event) override;
    /// Button 0 after a committing press: the click's entry goes to the history.
    void buttonReleased(const FunctionButtonEvent& event) override;

    /// The matrix applied to dent vectors: a diagonal of 0s and 1s.
    const Ogre::Matrix3& getDirection() const { return direction; }

private:
    void setLock(OIS::KeyCode key, bool held);
    void updateDirection();
    void finishClick();

    std::unique_ptr<DeformState> state;
    bool lockX = false;
    bool lockY = false;
    bool lockZ = false;
    Ogre::Matrix3 direction = Ogre::Matrix3::IDENTITY;
    std::vector<Ogre::Vector3> scratch;
};
