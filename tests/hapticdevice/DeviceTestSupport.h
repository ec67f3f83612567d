#pragma once
// A device with no hardware, shared by the device and renderer tests.
#include "hapticdevice/HapticsDevice.h"

namespace HapticTest {

/// A device whose state the test feeds through updateForces.
class BareDevice : public Kiln::HapticsDevice {
public:
    bool isConnected() override { return true; }
    bool activate() override { return true; }
    void deactivate() override {}
};

} // namespace HapticTest
