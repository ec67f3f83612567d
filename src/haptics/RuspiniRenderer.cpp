#include "haptics/RuspiniRenderer.h"

#include "detail/HapticContacts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Kiln {
namespace {

// Normals closer than this (squared) are one constraint.
constexpr double duplicateNormal = 1e-12;
// Sweeps after the first of a tick accept almost no back-up.
constexpr double updateBackTolerance = 1e-7;
// The active-set search tries every subset of at most three constraints;
// beyond this many distinct normals the proxy simply stops for the tick.
constexpr std::size_t maxSolvedConstraints = 12;
// Contact events one tick may resolve before the proxy stops for the tick:
// far more than a tick needs (a dozen in a fold), so only a cycle ends here.
constexpr std::size_t maxIterations = 64;

// The proxy goes approachRate of the way to the device point each tick, so
// the part of a move a constraint blocks (its multiplier) is approachRate
// of how far the device point lies inside the surface.
constexpr double depthPerBlockedMove = 1.0 / RuspiniRenderer::approachRate;
// Damping per unit of stiffness, added to the surface's own damping: a
// stiff surface with no damping of its own would otherwise ring.
constexpr double dampingPerStiffness = 0.01;

// How much of the device point's depth a surface of this stiffness ([0, 1])
// gives way by, for sculpting: all of it when soft, none when fully stiff,
// and little until the stiffness falls well below one.
double givingWay(double stiffness) {
    return 1.0 - stiffness * stiffness * stiffness * stiffness;
}

Ogre::Vector3 toOgre(const Vec3d& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Solves the Gram system G * lambda = -b of `count` unit normals by Cramer's
// rule; false when the normals are (nearly) dependent.
bool solveGram(const Vec3d* normals, const double* b, int count, double* lambda) {
    if (count == 1) {
        lambda[0] = -b[0];
        return true;
    }
    if (count == 2) {
        const double c = dot(normals[0], normals[1]);
        const double det = 1.0 - c * c;
        if (det < 1e-10)
            return false;
        lambda[0] = -(b[0] - b[1] * c) / det;
        lambda[1] = -(b[1] - b[0] * c) / det;
        return true;
    }
    Mat3d g;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            g.m[i][j] = dot(normals[i], normals[j]);
    if (std::fabs(g.determinant()) < 1e-10)
        return false;
    const Vec3d y = g.inverse() * Vec3d(-b[0], -b[1], -b[2]);
    lambda[0] = y.x;
    lambda[1] = y.y;
    lambda[2] = y.z;
    return true;
}

} // namespace

RuspiniRenderer::RuspiniRenderer(double radius_) : radius(radius_) {}

void RuspiniRenderer::setProxyRadius(double value) { radius.store(value, std::memory_order_relaxed); }

double RuspiniRenderer::getProxyRadius() { return radius.load(std::memory_order_relaxed); }

Ogre::Vector3 RuspiniRenderer::getProxyPosition() { return toOgre(getProxy()); }

Vec3d RuspiniRenderer::getProxy() {
    const std::lock_guard<std::mutex> lock(proxyMutex);
    return publishedProxy;
}

std::vector<ContactRecord> RuspiniRenderer::getContacts() {
    const std::lock_guard<std::mutex> lock(contactsMutex);
    return publishedContacts;
}

std::vector<std::shared_ptr<RuspiniShape>> RuspiniRenderer::getTouchedShapes() {
    return touchedShapesOf(getContacts());
}

void RuspiniRenderer::addShape(std::shared_ptr<RuspiniShape> shape) {
    if (!shape)
        return;
    const std::lock_guard<std::mutex> lock(shapesMutex);
    if (shapeIndex.count(shape.get()))
        return;
    shapeIndex.emplace(shape.get(), shapes.size());
    shapes.push_back(std::move(shape));
}

void RuspiniRenderer::removeShape(const std::shared_ptr<RuspiniShape>& shape) {
    const std::lock_guard<std::mutex> lock(shapesMutex);
    const auto found = shapeIndex.find(shape.get());
    if (found == shapeIndex.end())
        return;
    const std::size_t index = found->second;
    shapeIndex.erase(found);
    if (index + 1 != shapes.size()) {
        shapes[index] = std::move(shapes.back());
        shapeIndex[shapes[index].get()] = index;
    }
    shapes.pop_back();
}

bool RuspiniRenderer::containsShape(const std::shared_ptr<RuspiniShape>& shape) {
    const std::lock_guard<std::mutex> lock(shapesMutex);
    return shapeIndex.count(shape.get()) != 0;
}

Ogre::Vector3 RuspiniRenderer::getShapeForce(const RuspiniShape* shape) {
    return shapeForceOf(getContacts(), shape);
}

Ogre::Vector3 RuspiniRenderer::getShapeContactPoint(const RuspiniShape* shape) {
    return shapeContactPointOf(getContacts(), shape);
}

Ogre::Vector3 RuspiniRenderer::getDeformationVector() {
    return deformationVectorOf(getContacts());
}

void RuspiniRenderer::computeWorldForce(ForceTorque& out, IHapticsDevice& device, float) {
    const Vec3d force = tick(device.getWorldSample(), device.getForceGain());
    out.force[0] = static_cast<float>(force.x);
    out.force[1] = static_cast<float>(force.y);
    out.force[2] = static_cast<float>(force.z);
}

Vec3d RuspiniRenderer::tick(const DeviceSample& sample, double forceGain) {
    tickShapes.clear();
    if (enabled.load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> lock(shapesMutex);
        tickShapes.assign(shapes.begin(), shapes.end());
    }
    candidates.clear();
    activeSet.clear();
    buildingContacts.clear();
    stats = RendererTickStats{};

    Vec3d total;
    // A device reading that is not finite moves nothing and pushes nothing.
    if (isFinite(sample.position) && isFinite(sample.velocity)) {
        if (reseatRequested.exchange(false, std::memory_order_acq_rel))
            proxyInitialised = false;
        if (!proxyInitialised) {
            proxy = sample.position;
            proxyInitialised = true;
        }
        const double r = radius.load(std::memory_order_relaxed);
        tickRadius = r;
        const Vec3d start = proxy;
        const Vec3d goal = proxy + (sample.position - proxy) * approachRate;
        Vec3d move = goal - proxy;
        const double moveLength = length(move);
        const double backTolerance = moveLength > r ? r / moveLength : 1.0;

        for (const auto& shape : tickShapes)
            shape->beginTick();
        for (const auto& shape : tickShapes)
            shape->collectConstraints(candidates, proxy, move, r, backTolerance);
        while (advanceToNextContact(move)) {
            if (++stats.iterations > maxIterations || !solve(goal - proxy, move)) {
                move = Vec3d();
                break;
            }
            updateCandidates(move, r);
        }
        const Vec3d next = proxy + move;
        if (hasNaN(next)) {
            proxy = start;
            activeSet.clear();
        } else {
            proxy = next;
        }
        total = contactForces(sample.velocity);
    }
    stats.candidates = candidates.size();
    stats.contacts = buildingContacts.size();
    publish();
    tickShapes.clear();
    const Vec3d force = total * forceGain;
    return isFinite(force) ? force : Vec3d();
}

double RuspiniRenderer::earliestHit() const {
    double t0 = std::numeric_limits<double>::infinity();
    for (const ConstraintRecord& c : candidates)
        if (c.active && !c.removed && c.t < t0)
            t0 = c.t;
    return t0;
}

// Moves the proxy to the earliest hit and takes every candidate hit at that
// moment into the active set; false when nothing is hit.
bool RuspiniRenderer::advanceToNextContact(Vec3d& move) {
    const double t0 = earliestHit();
    if (!std::isfinite(t0))
        return false;
    proxy += move * t0;
    move *= 1.0 - t0;
    const std::size_t firstNew = activeSet.size();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        ConstraintRecord& c = candidates[i];
        if (!c.active || c.removed || c.t > t0 + simultaneousHit)
            continue;
        c.removed = true;
        const Vec3d away = proxy - c.contact;
        const double distance = length(away);
        // The sweep's own normal stands in when the proxy sits on the contact.
        if (distance > 1e-12 * std::max(1.0, tickRadius))
            c.normal = away * (1.0 / distance);
        activeSet.push_back(i);
    }
    dropDuplicateNormals(firstNew);
    return true;
}

void RuspiniRenderer::dropDuplicateNormals(std::size_t firstNew) {
    std::size_t kept = firstNew;
    for (std::size_t i = firstNew; i < activeSet.size(); ++i) {
        bool duplicate = false;
        for (std::size_t j = 0; j < kept && !duplicate; ++j)
            duplicate = squaredLength(active(i).normal - active(j).normal) < duplicateNormal;
        if (!duplicate)
            activeSet[kept++] = activeSet[i];
    }
    activeSet.resize(kept);
}

// Every active constraint pushes back with the part of d that heads into
// it: the multipliers of a proxy that stops for the tick.
void RuspiniRenderer::stopAgainstAll(const Vec3d& d) {
    for (const std::size_t i : activeSet)
        candidates[i].lambda = std::max(0.0, -dot(candidates[i].normal, d));
}

// Tries the subsets of at most three active constraints from the smallest
// up; the first one whose multipliers are all non-negative and whose move
// enters no other constraint is the solution.
bool RuspiniRenderer::findFreeMove(const Vec3d& d, ActiveSolution& solution) {
    const double tolerance = 1e-12 * std::max(length(d), 1e-300);
    const auto feasible = [&](const Vec3d& candidate) {
        for (const std::size_t i : activeSet)
            if (dot(candidates[i].normal, candidate) < -tolerance)
                return false;
        return true;
    };
    const auto trySubset = [&](const int* members, int count) {
        Vec3d normals[3];
        double b[3];
        double l[3];
        for (int k = 0; k < count; ++k) {
            normals[k] = active(members[k]).normal;
            b[k] = dot(normals[k], d);
        }
        if (count > 0 && !solveGram(normals, b, count, l))
            return false;
        Vec3d candidate = d;
        for (int k = 0; k < count; ++k) {
            if (l[k] < -tolerance)
                return false;
            candidate += normals[k] * l[k];
        }
        if (!feasible(candidate))
            return false;
        for (int k = 0; k < count; ++k) {
            solution.chosen[k] = members[k];
            solution.lambda[k] = std::max(0.0, l[k]);
        }
        solution.size = count;
        solution.move = candidate;
        return true;
    };
    const int count = static_cast<int>(activeSet.size());
    if (trySubset(nullptr, 0))
        return true;
    for (int i = 0; i < count; ++i) {
        const int s[1] = {i};
        if (trySubset(s, 1))
            return true;
    }
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j) {
            const int s[2] = {i, j};
            if (trySubset(s, 2))
                return true;
        }
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            for (int k = j + 1; k < count; ++k) {
                const int s[3] = {i, j, k};
                if (trySubset(s, 3))
                    return true;
            }
    return false;
}

// Keeps the chosen constraints with their multipliers; releases the rest,
// which may be hit again later in the tick.
void RuspiniRenderer::keepChosen(const ActiveSolution& solution) {
    for (std::size_t i = 0; i < activeSet.size(); ++i) {
        ConstraintRecord& c = active(i);
        const int* slot = std::find(solution.chosen, solution.chosen + solution.size, static_cast<int>(i));
        if (slot != solution.chosen + solution.size) {
            c.lambda = solution.lambda[slot - solution.chosen];
        } else {
            c.lambda = 0.0;
            c.removed = false;
            c.active = false;
        }
    }
    std::size_t kept = 0;
    for (int k = 0; k < solution.size; ++k)
        activeSet[kept++] = activeSet[solution.chosen[k]];
    activeSet.resize(kept);
}

// Finds the move closest to d that enters none of the active constraints
// (the projection of d onto the cone they leave free) and the multipliers
// that push the proxy out of each. Returns false when the proxy has to
// stop: three independent constraints, or a set too large or too
// degenerate to solve.
bool RuspiniRenderer::solve(const Vec3d& d, Vec3d& move) {
    ActiveSolution solution;
    if (activeSet.size() > maxSolvedConstraints || !findFreeMove(d, solution)) {
        stopAgainstAll(d);
        return false;
    }
    keepChosen(solution);
    if (solution.size >= 3)
        return false;
    move = solution.move;
    return true;
}

void RuspiniRenderer::updateCandidates(const Vec3d& move, double r) {
    for (const auto& shape : tickShapes)
        shape->updateConstraints(candidates, proxy, move, r, updateBackTolerance);
}

Vec3d RuspiniRenderer::contactForces(const Vec3d& velocity) {
    Vec3d total;
    for (const std::size_t i : activeSet) {
        const ConstraintRecord* c = &candidates[i];
        const ShapeTickState& surface = c->shape->tickState();
        const double damping = surface.damping;     // [0, 1]
        const double stiffness = surface.stiffness; // [0, 1]
        const double depth = depthPerBlockedMove * c->lambda;
        const double closingSpeed = dot(c->normal, velocity);
        const double push = stiffness * depth - closingSpeed * (damping + dampingPerStiffness * stiffness);
        const Vec3d force = c->normal * push;
        total += force;
        ContactRecord contact;
        contact.shape = c->shape->weak_from_this();
        contact.force = toOgre(force);
        contact.point = toOgre(c->contact);
        contact.normal = toOgre(c->normal);
        contact.depth = static_cast<float>(givingWay(stiffness) * depth);
        buildingContacts.push_back(std::move(contact));
    }
    return total;
}

void RuspiniRenderer::publish() {
    {
        const std::lock_guard<std::mutex> lock(proxyMutex);
        publishedProxy = proxy;
    }
    const std::lock_guard<std::mutex> lock(contactsMutex);
    std::swap(publishedContacts, buildingContacts);
}

} // namespace Kiln
