#include "functions/colour/ColourStates.h"

#include "scene/Object.h"

#include <functional>

namespace {

class ColourSwapWorker : public Kiln::VertexListWorker {
public:
    using Apply = std::function<void(std::vector<Kiln::Vertex>&)>;
    explicit ColourSwapWorker(Apply apply) : apply(std::move(apply)) {}
    void operator()(std::vector<Kiln::Vertex>& vertices) override { apply(vertices); }

private:
    Apply apply;
};

Kiln::DynamicMesh* meshOf(const Kiln::ObjectHandle& handle, std::size_t vertexCount) {
    Kiln::Object* object = handle.getObject();
    Kiln::DynamicMesh* mesh = object ? object->getMesh() : nullptr;
    // A mesh rebuilt since (another vertex count) is not the one recorded.
    return mesh && mesh->getVertexCount() == vertexCount ? mesh : nullptr;
}

} // namespace

PaintState::PaintState(const FunctionBase* function, Kiln::Object& object)
    : FunctionState(function), target(object.getHandle()),
      vertexCount(object.getMesh() ? object.getMesh()->getVertexCount() : 0), recorded(vertexCount, 0) {}

bool PaintState::record(std::uint32_t vertex, const Ogre::ColourValue& colour) {
    if (vertex >= recorded.size() || recorded[vertex])
        return false;
    recorded[vertex] = 1;
    entries.push_back({vertex, colour});
    return true;
}

void PaintState::swap() {
    // The per-vertex flags only serve the running stroke.
    std::vector<std::uint8_t>().swap(recorded);
    Kiln::DynamicMesh* mesh = meshOf(target, vertexCount);
    if (!mesh)
        return;
    ColourSwapWorker worker([this](std::vector<Kiln::Vertex>& vertices) {
        for (Entry& entry : entries)
            std::swap(entry.colour, vertices[entry.vertex].colour);
    });
    mesh->applyVertexWorker(worker);
    target.getObject()->notifyMeshChanged();
}

ColourFillState::ColourFillState(const FunctionBase* function, const std::vector<Kiln::Object*>& objects)
    : FunctionState(function) {
    for (Kiln::Object* object : objects) {
        const Kiln::DynamicMesh* mesh = object ? object->getMesh() : nullptr;
        if (!mesh)
            continue;
        Entry entry{object->getHandle(), {}};
        entry.before.reserve(mesh->getVertexCount());
        for (const Kiln::Vertex& v : mesh->getVertices())
            entry.before.push_back(v.colour);
        entries.push_back(std::move(entry));
    }
}

void ColourFillState::undo() {
    for (const Entry& entry : entries) {
        Kiln::DynamicMesh* mesh = meshOf(entry.object, entry.before.size());
        if (!mesh)
            continue;
        ColourSwapWorker worker([&entry](std::vector<Kiln::Vertex>& vertices) {
            for (std::size_t i = 0; i < vertices.size(); ++i)
                vertices[i].colour = entry.before[i];
        });
        mesh->applyVertexWorker(worker);
        entry.object.getObject()->notifyMeshChanged();
    }
}

void ColourFillState::redo() {
    for (const Entry& entry : entries) {
        Kiln::DynamicMesh* mesh = meshOf(entry.object, entry.before.size());
        if (!mesh)
            continue;
        const Ogre::ColourValue fill = colour;
        ColourSwapWorker worker([fill](std::vector<Kiln::Vertex>& vertices) {
            for (Kiln::Vertex& v : vertices)
                v.colour = fill;
        });
        mesh->applyVertexWorker(worker);
        entry.object.getObject()->notifyMeshChanged();
    }
}
