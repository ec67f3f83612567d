#pragma once
// One Boolean operation of the Boolean tool, computed from copies of the
// operands so that it can run on a worker thread while the main thread
// keeps drawing: the scene is not touched until the main thread takes the
// result.
#include "mesh/DynamicMesh.h"

#include <OgreMatrix4.h>

#include <atomic>
#include <memory>

enum class BooleanJobKind { Union, Intersection, Difference };

class BooleanJob {
public:
    /// `a` and `b` with their world matrices; the result is expressed in
    /// a's local frame. With `withCutPiece`, a ∩ b is computed as well.
    /// The meshes are copied here (main thread); nothing refers to the
    /// operands afterwards.
    BooleanJob(const Kiln::DynamicMesh& a, const Ogre::Matrix4& frameA, const Kiln::DynamicMesh& b,
               const Ogre::Matrix4& frameB, BooleanJobKind kind, bool withCutPiece);

    /// Computes on the calling thread; sets isDone() last.
    void run();
    bool isDone() const { return done.load(std::memory_order_acquire); }
    /// Asks a running (or not yet started) run() to stop at its next step
    /// (any thread); it then ends without a result or an error.
    void cancel() { cancelRequested.store(true, std::memory_order_relaxed); }
    bool wasCancelled() const { return cancelRequested.load(std::memory_order_relaxed); }

    /// Valid once isDone(): null where nothing remains. Taking moves them out.
    std::unique_ptr<Kiln::DynamicMesh> takeResult() { return std::move(result); }
    std::unique_ptr<Kiln::DynamicMesh> takeCutPiece() { return std::move(cutPiece); }
    /// A failure inside the kernel, as text; empty when none.
    const std::string& getError() const { return error; }

    /// Total triangles of both operands.
    std::size_t size() const { return triangles; }

private:
    std::unique_ptr<Kiln::DynamicMesh> a;
    std::unique_ptr<Kiln::DynamicMesh> b;
    Ogre::Matrix4 frameA;
    Ogre::Matrix4 frameB;
    BooleanJobKind kind;
    bool withCutPiece;
    std::size_t triangles;
    std::unique_ptr<Kiln::DynamicMesh> result;
    std::unique_ptr<Kiln::DynamicMesh> cutPiece;
    std::string error;
    std::atomic<bool> done{false};
    std::atomic<bool> cancelRequested{false};
};
