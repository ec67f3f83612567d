#include "functions/sculpt/DeformState.h"

#include "mesh/DynamicMesh.h"
#include "scene/Object.h"

#include <algorithm>

namespace {

/// Writes recorded positions back at their indices.
class PositionWriter : public Kiln::VertexListWorker {
public:
    PositionWriter(const std::vector<std::uint32_t>& indices, const std::vector<Ogre::Vector3>& positions)
        : indices(indices), positions(positions) {}
    void operator()(std::vector<Kiln::Vertex>& vertices) override {
        for (std::size_t k = 0; k < indices.size(); ++k)
            vertices[indices[k]].position = positions[k];
    }

private:
    const std::vector<std::uint32_t>& indices;
    const std::vector<Ogre::Vector3>& positions;
};

bool samePosition(const Ogre::Vector3& a, const Ogre::Vector3& b) {
    // Exact comparison: a vertex counts as moved when any bit changed, so
    // that restoring the recorded values gives back the exact mesh.
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

std::size_t DeformState::commitDent(Kiln::Object& object, Kiln::VertexListWorker& dent,
                                    std::vector<Ogre::Vector3>& scratch) {
    Kiln::DynamicMesh* mesh = object.getMesh();
    if (!mesh)
        return 0;
    const std::vector<Kiln::Vertex>& vertices = mesh->getVertices();
    scratch.resize(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i)
        scratch[i] = vertices[i].position;

    mesh->applyVertexWorker(dent);

    Entry entry;
    entry.object = object.getHandle();
    entry.vertexCount = mesh->getVertexCount();
    const std::size_t common = std::min(scratch.size(), entry.vertexCount);
    for (std::size_t i = 0; i < common; ++i) {
        const Ogre::Vector3& now = mesh->getVertices()[i].position;
        if (!samePosition(scratch[i], now)) {
            entry.indices.push_back(static_cast<std::uint32_t>(i));
            entry.before.push_back(scratch[i]);
            entry.after.push_back(now);
        }
    }
    const std::size_t moved = entry.indices.size();
    if (moved > 0) {
        entry.indices.shrink_to_fit();
        entry.before.shrink_to_fit();
        entry.after.shrink_to_fit();
        entries.push_back(std::move(entry));
        object.notifyMeshChanged();
    }
    return moved;
}

std::size_t DeformState::getChangedVertexCount() const {
    std::size_t count = 0;
    for (const Entry& entry : entries)
        count += entry.indices.size();
    return count;
}

std::size_t DeformState::getMemoryBytes() const {
    std::size_t bytes = 0;
    for (const Entry& entry : entries)
        bytes += entry.indices.capacity() * sizeof(std::uint32_t) +
                 (entry.before.capacity() + entry.after.capacity()) * sizeof(Ogre::Vector3);
    return bytes;
}

void DeformState::restore(const Entry& entry, const std::vector<Ogre::Vector3>& positions) {
    Kiln::Object* object = entry.object.getObject();
    Kiln::DynamicMesh* mesh = object ? object->getMesh() : nullptr;
    // A mesh replaced by one of another size since the click is not ours
    // to write into.
    if (!mesh || mesh->getVertexCount() != entry.vertexCount)
        return;
    PositionWriter writer(entry.indices, positions);
    mesh->applyVertexWorker(writer);
    object->notifyMeshChanged();
}

void DeformState::undo() {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        restore(*entry, entry->before);
}

void DeformState::redo() {
    for (const Entry& entry : entries)
        restore(entry, entry.after);
}
