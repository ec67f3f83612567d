#include "geometry/Boolean.h"

#include "detail/BooleanStages.h"
#include "detail/ParallelChunks.h"
#include "log/Exception.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

namespace Kiln {

using namespace BooleanStage;

namespace {

// Adds the time since the last call to a stage of the report, if any.
// Between stages it also honours a cancel request.
class StageClock {
public:
    StageClock(BooleanReport* report, const std::atomic<bool>* cancel)
        : report(report), cancel(cancel), last(std::chrono::steady_clock::now()) {}
    void next(BooleanReport::Stage stage) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            throw BooleanCancelled();
        const auto now = std::chrono::steady_clock::now();
        if (report)
            report->stageMilliseconds[stage] = std::chrono::duration<double, std::milli>(now - last).count();
        last = now;
    }

private:
    BooleanReport* report;
    const std::atomic<bool>* cancel;
    std::chrono::steady_clock::time_point last;
};

// Non-finite coordinates have no place in exact arithmetic (their planes
// are NaN and every comparison fails), and an index past the vertices
// reads outside the arrays: refuse both before any stage runs.
void checkOperand(const MeshArrays& mesh, const char* name) {
    const char* const location = "Kiln::computeBoolean()";
    for (std::size_t i = 0; i < mesh.positions.size(); ++i)
        if (!std::isfinite(mesh.positions[i]))
            throw Exception(ErrorCode::InvalidValue,
                            std::string("Operand ") + name + ": vertex " + std::to_string(i / 3 + 1) +
                                " has a coordinate that is not a finite number.",
                            location);
    if (mesh.positions.size() % 3 != 0 || mesh.indices.size() % 3 != 0)
        throw Exception(ErrorCode::InvalidValue, std::string("Operand ") + name + ": incomplete vertex or triangle.",
                        location);
    for (const std::uint32_t index : mesh.indices)
        if (index >= mesh.vertexCount())
            throw Exception(ErrorCode::InvalidValue,
                            std::string("Operand ") + name + ": a triangle refers to a vertex that does not exist.",
                            location);
}

} // namespace

MeshArrays computeBoolean(const MeshArrays& a, const MeshArrays& b, BooleanOperation operation,
                          BooleanReport* report, const std::atomic<bool>* cancel) {
    checkOperand(a, "A");
    checkOperand(b, "B");
    StageClock clock(report, cancel);
    BSP::Operand operandA, operandB;
    auto prepareA = std::async(std::launch::async, [&] {
        operandA.prepare(0, a.positions.data(), a.vertexCount(), a.indices.data(), a.triangleCount());
    });
    operandB.prepare(1, b.positions.data(), b.vertexCount(), b.indices.data(), b.triangleCount());
    prepareA.get();
    const BSP::Operands operands{{&operandA, &operandB}};

    std::vector<std::uint8_t> meetsA, meetsB;
    findMeetingTriangles(a, b, operandA.degenerate, operandB.degenerate, meetsA, meetsB);
    clock.next(BooleanReport::Prepare);

    // Each stage runs one operand on a worker task and the other here; the
    // two only read each other's planes, boxes and trees.
    std::vector<std::uint32_t> representativesA, representativesB;
    std::vector<std::uint32_t> componentA, componentB;
    // Triangles that meet the other operand are the ones clipped: their
    // planes are needed.
    auto readyClippedPlanes = [](BSP::Operand& op, const std::vector<std::uint8_t>& meets) {
        Parallel::forChunks(meets.size(), Parallel::chunkCountFor(meets.size()),
                            [&](unsigned, std::size_t begin, std::size_t end) {
                                for (std::size_t t = begin; t < end; ++t)
                                    if (meets[t] == kClipped)
                                        op.readyPlane(t);
                            });
    };
    auto setsA = std::async(std::launch::async, [&] {
        readyClippedPlanes(operandA, meetsA);
        componentA = farComponents(a, meetsA, operandA.degenerate, representativesA);
    });
    readyClippedPlanes(operandB, meetsB);
    componentB = farComponents(b, meetsB, operandB.degenerate, representativesB);
    setsA.get();
    // What each operand can reach of the other's partition and trees: the
    // boxes of its clipped triangles, then its sets' deciding points (as
    // boxes of no size, from `firstPoint` on).
    struct Reach {
        std::vector<BSP::Box> boxes;
        std::size_t firstPoint;
    };
    auto reachOf = [](const MeshArrays& mesh, const std::vector<std::uint8_t>& meets,
                      const std::vector<std::uint32_t>& representatives) {
        Reach reach;
        for (std::uint32_t t = 0; t < mesh.triangleCount(); ++t)
            if (meets[t] == kClipped)
                reach.boxes.push_back(BSP::triangleBox(mesh.positions.data(), mesh.indices.data(), t));
        reach.firstPoint = reach.boxes.size();
        for (const std::uint32_t t : representatives) {
            const double* p = &mesh.positions[3 * mesh.indices[3 * t]];
            reach.boxes.push_back({{p[0], p[1], p[2]}, {p[0], p[1], p[2]}});
        }
        return reach;
    };
    const Reach reachOfA = reachOf(a, meetsA, representativesA), reachOfB = reachOf(b, meetsB, representativesB);
    // A partition is refined only where the other operand can reach it.
    auto partitionA = std::async(std::launch::async, [&] { BSP::buildPartition(operandA, reachOfB.boxes); });
    BSP::buildPartition(operandB, reachOfA.boxes);
    partitionA.get();
    clock.next(BooleanReport::Partition);

    // A tree is needed only in the cells the other operand reaches.
    auto markAndFill = [&](BSP::Operand& tree, const Reach& reach) {
        for (std::size_t i = 0; i < reach.boxes.size(); ++i)
            if (i < reach.firstPoint)
                BSP::markCells(tree, reach.boxes[i].lo, reach.boxes[i].hi);
            else
                BSP::markCellOfPoint(tree, reach.boxes[i].lo);
        BSP::fillCells(tree, operands);
    };
    auto treeA = std::async(std::launch::async, [&] { markAndFill(operandA, reachOfB); });
    markAndFill(operandB, reachOfA);
    treeA.get();
    clock.next(BooleanReport::Trees);

    KeptPolygons keptA, keptB;
    auto clipB = std::async(std::launch::async, [&] {
        clipOperand(operandB, operandA, meetsB, componentB, representativesB, operands, operation, keptB);
    });
    clipOperand(operandA, operandB, meetsA, componentA, representativesA, operands, operation, keptA);
    clipB.get();
    clock.next(BooleanReport::Clip);
    const std::size_t treeNodes[2] = {operandA.nodes.size(), operandB.nodes.size()};
    operandA.releaseTrees();
    operandB.releaseTrees();

    std::size_t inserted = 0;
    MeshArrays result = assembleResult(a, b, operands, keptA, keptB, inserted);
    clock.next(BooleanReport::Output);

    if (report) {
        for (int i = 0; i < 2; ++i) {
            const BSP::Operand& op = *operands.operand[i];
            report->degenerateTriangles[i] =
                static_cast<std::size_t>(std::count(op.degenerate.begin(), op.degenerate.end(), 1));
            report->treeNodes[i] = treeNodes[i];
        }
        report->nearTriangles[0] = static_cast<std::size_t>(std::count(meetsA.begin(), meetsA.end(), kClipped));
        report->nearTriangles[1] = static_cast<std::size_t>(std::count(meetsB.begin(), meetsB.end(), kClipped));
        report->seamVerticesInserted = inserted;
    }
    return result;
}

} // namespace Kiln