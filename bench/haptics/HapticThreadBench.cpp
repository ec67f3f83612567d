// The haptic thread's achieved rate and period jitter: first the bare
// periodic thread, then the simulated device ticking the proxy renderer on a
// torus while its hand circles through it.
#include "hapticdevice/HapticsDeviceSimulated.h"
#include "haptics/IndexedShape.h"
#include "hapticdevice/PeriodicThread.h"
#include "haptics/RuspiniRenderer.h"
#include "mesh/MeshEditor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

using namespace Kiln;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double seconds = 3.0;

// Records the time of every call into a preallocated array.
struct TickClock {
    explicit TickClock(std::size_t capacity) : stamps(capacity) {}
    void stamp() {
        const std::size_t i = count.load(std::memory_order_relaxed);
        if (i < stamps.size()) {
            stamps[i] = Clock::now();
            count.store(i + 1, std::memory_order_release);
        }
    }
    std::vector<Clock::time_point> stamps;
    std::atomic<std::size_t> count{0};
};

void report(const char* name, const TickClock& clock) {
    const std::size_t n = clock.count.load(std::memory_order_acquire);
    if (n < 3) {
        std::printf("%s: too few ticks\n", name);
        return;
    }
    std::vector<double> periods;
    for (std::size_t i = 2; i < n; ++i) // the first interval includes start-up
        periods.push_back(std::chrono::duration<double, std::micro>(clock.stamps[i] -
                                                                    clock.stamps[i - 1])
                              .count());
    const double total =
        std::chrono::duration<double>(clock.stamps[n - 1] - clock.stamps[1]).count();
    double mean = 0.0;
    for (double p : periods)
        mean += p;
    mean /= periods.size();
    double variance = 0.0;
    std::vector<double> deviation;
    for (double p : periods) {
        variance += (p - mean) * (p - mean);
        deviation.push_back(std::fabs(p - 1000.0));
    }
    std::sort(deviation.begin(), deviation.end());
    std::sort(periods.begin(), periods.end());
    std::printf("%s: rate_hz=%.1f mean_period_us=%.2f jitter_sd_us=%.2f "
                "p99_abs_dev_us=%.2f max_period_us=%.2f min_period_us=%.2f\n",
                name, periods.size() / total, mean, std::sqrt(variance / periods.size()),
                deviation[deviation.size() * 99 / 100], periods.back(), periods.front());
}

struct StampEffect : IHapticForceEffect {
    explicit StampEffect(TickClock& c) : clock(c) {}
    Ogre::Vector3& computeForce(Ogre::Vector3& force, IHapticsDevice&) override {
        clock.stamp();
        return force;
    }
    TickClock& clock;
};

} // namespace

int main() {
    {
        TickClock clock(static_cast<std::size_t>(seconds * 1100));
        PeriodicThread thread;
        thread.start([&](double) { clock.stamp(); return true; }, 1000);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        thread.stop();
        report("periodic thread", clock);
    }
    {
        const auto mesh = MeshEditor::createNewDynamicMesh(int(PrimitiveType::Torus),
                                                           Ogre::ColourValue::White);
        auto shape = std::make_shared<IndexedShape>(mesh->getFaces(), mesh->getVertices());
        TickClock clock(static_cast<std::size_t>(seconds * 1100));
        StampEffect stamp(clock);
        RuspiniRenderer renderer(0.2);
        HapticsDeviceSimulated device;
        device.setWorldScale(0.005f);
        device.addGlobalForceEffect(&renderer);
        device.addForceEffect(&stamp);
        renderer.enable();
        renderer.addShape(shape);
        device.setTarget({0, 0, 4});
        device.activate();
        const auto begin = Clock::now();
        while (Clock::now() - begin < std::chrono::duration<double>(seconds)) {
            const double t = std::chrono::duration<double>(Clock::now() - begin).count();
            device.setTarget({float(2 * std::cos(t * 3)), float(2 * std::sin(t * 3)), 0.5f});
            std::this_thread::sleep_for(std::chrono::milliseconds(16)); // a frame
        }
        device.removeForceEffect(&stamp);
        device.removeGlobalForceEffect(&renderer);
        report("simulated device + renderer (torus)", clock);
    }
    return 0;
}
