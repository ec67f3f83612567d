// The Falcon driver's share of the haptic tick. First its own work alone
// (decode a status, forward kinematics from the previous position, force to
// motor commands, encode the next command), then whole ticks of the Falcon
// device through the simulated device's transport with the proxy renderer
// pressing on a sphere of about a million triangles. The tick's budget is
// 1000 us; the target for driver plus renderer is a p99 below 200 us.
#include "hapticdevice/HapticsDevice.h"
#include "support/BenchMeshes.h"
#include "haptics/IndexedShape.h"
#include "haptics/RuspiniRenderer.h"
#include "hapticdevice/falcon/FalconKinematics.h"
#include "hapticdevice/falcon/FalconProtocol.h"
#include "hapticdevice/falcon/FalconSimulator.h"
#include "hapticdevice/falcon/HapticsDeviceFalcon.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Kiln;
using namespace Kiln::falcon;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double median, p99, max;
};

Figures summarise(std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back()};
}

// A hand's path in the Falcon's frame: circles of 10..25 mm at 3 Hz about the
// workspace centre, with a slow wobble in depth.
Vec3d handPath(double t) {
    const double r = 0.0175 + 0.0075 * std::sin(0.7 * t);
    return {r * std::cos(3 * t), r * std::sin(3 * t), 0.150 + 0.01 * std::sin(1.3 * t)};
}

void benchDriverWork() {
    constexpr int ticks = 200000;
    // Status packets as the device would send them along the path.
    std::vector<std::uint8_t> stream(static_cast<std::size_t>(ticks) * packetSize);
    for (int i = 0; i < ticks; ++i) {
        ArmPose pose;
        inverseKinematics(handPath(i * 0.001), pose);
        Status status;
        for (int k = 0; k < 3; ++k)
            status.encoder[k] = static_cast<std::int16_t>(std::lround(angleToEncoder(pose.leg[k].theta[0])));
        status.homed = allAxesHomed;
        encodeStatus(status, stream.data() + static_cast<std::size_t>(i) * packetSize);
    }
    StatusReader reader;
    PositionTracker tracker;
    std::vector<double> micros(ticks);
    std::uint8_t out[packetSize];
    long checksum = 0;
    for (int i = 0; i < ticks; ++i) {
        const auto begin = Clock::now();
        reader.append(stream.data() + static_cast<std::size_t>(i) * packetSize, packetSize);
        Status status;
        reader.next(status);
        tracker.update(status.encoder);
        Command command;
        forceToCommands(tracker.getPose(), {0.5, -1.0, 2.0}, command.motor);
        encodeCommand(command, out);
        micros[i] = std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
        checksum += out[3];
    }
    const Figures f = summarise(micros);
    std::printf("driver work per tick (decode, kinematics, force, encode): ticks=%d median_us=%.2f p99_us=%.2f "
                "max_us=%.2f (checksum %ld)\n",
                ticks, f.median, f.p99, f.max, checksum);
}

std::shared_ptr<IndexedShape> sphere(int rings, int segments, double radius) {
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    benchmesh::sphere(rings, segments, radius, 0.0, positions, indices);
    return std::make_shared<IndexedShape>(positions, indices);
}

void benchDeviceTicks() {
    auto device = std::make_shared<Simulator>(std::vector<std::uint8_t>{});
    device->setFirmwareRunning(true);
    FalconDeviceOptions options;
    options.port = device->makePort();
    options.loop = HapticLoop::Manual;
    HapticsDeviceFalcon falcon(options);
    falcon.setWorldScale(0.005f); // 5 mm a unit: the sphere's radius of 3 is 15 mm
    const auto shape = sphere(708, 708, 3.0);
    RuspiniRenderer renderer(0.05);
    renderer.addShape(shape);
    renderer.enable();
    falcon.addGlobalForceEffect(&renderer);
    falcon.activate();

    device->placeGrip({0.0, 0.0, 0.175}); // homing
    for (int i = 0; i < 50; ++i)
        falcon.tick(0.001);
    device->placeGrip({0.0, 0.03, 0.150}); // outside the sphere, then into the path
    for (int i = 0; i < 50; ++i)
        falcon.tick(0.001);

    constexpr int ticks = 20000;
    std::vector<double> micros(ticks);
    int pressing = 0;
    for (int i = 0; i < ticks; ++i) {
        device->setHandTarget(handPath(i * 0.001));
        const auto begin = Clock::now();
        falcon.tick(0.001);
        micros[i] = std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
        if (length(device->getMotorForce()) > 0.1)
            ++pressing;
    }
    falcon.removeGlobalForceEffect(&renderer);
    const Figures f = summarise(micros);
    std::printf("falcon device tick with the renderer on %zu triangles (simulated transport): ticks=%d "
                "pressing_ticks=%d median_us=%.1f p99_us=%.1f max_us=%.1f resends=%llu\n",
                shape->getTriangles().size(), ticks, pressing, f.median, f.p99, f.max,
                static_cast<unsigned long long>(falcon.getCounters().resends));
}

} // namespace

int main() {
    benchDriverWork();
    benchDeviceTicks();
    return 0;
}
