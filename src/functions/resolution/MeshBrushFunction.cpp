#include "functions/resolution/MeshBrushFunction.h"

#include "functions/FunctionManager.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <algorithm>
#include <cmath>

namespace {
const Ogre::ColourValue STYLUS_COLOUR(1.0f, 0.2f, 0.6f, 1.0f);
} // namespace

namespace {

// Puts `values` back at their ascending starting `indices` of `list`,
// shifting the others up: the inverse of dropVertices.
void reinsertVertices(std::vector<Kiln::Vertex>& list, const std::vector<std::uint32_t>& indices,
                      const std::vector<Kiln::Vertex>& values) {
    std::size_t read = list.size();
    list.resize(list.size() + indices.size());
    std::size_t next = indices.size();
    for (std::size_t write = list.size(); write-- > 0;)
        list[write] = next > 0 && indices[next - 1] == write ? values[--next] : list[--read];
}

// Drops the vertices at ascending `indices`, keeping the others' order.
void dropVertices(std::vector<Kiln::Vertex>& list, const std::vector<std::uint32_t>& indices) {
    if (indices.empty())
        return;
    std::size_t write = indices.front();
    for (std::size_t read = write, r = 0; read < list.size(); ++read) {
        if (r < indices.size() && indices[r] == read) {
            ++r;
            continue;
        }
        list[write++] = list[read];
    }
    list.resize(write);
}

// A grid cell size for brushes on a mesh: a few mean edge lengths,
// estimated from a sample of faces.
float typicalBrushCell(const std::vector<Kiln::Vertex>& vertices,
                                          const std::vector<Kiln::Face>& faces) {
    const std::size_t step = std::max<std::size_t>(1, faces.size() / 1024);
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t f = 0; f < faces.size(); f += step) {
        const Kiln::Face& face = faces[f];
        if (face.i0 >= vertices.size() || face.i1 >= vertices.size())
            continue;
        sum += vertices[face.i0].position.distance(vertices[face.i1].position);
        ++count;
    }
    const float mean = count ? static_cast<float>(sum / double(count)) : 0.f;
    return 4.f * mean;  // VertexGrid falls back to the extent for 0
}

} // namespace

bool StrokeStart::matches(const Kiln::DynamicMesh& mesh) const {
    return built && serial == mesh.getSerial() && topologyRevision == mesh.getTopologyRevision() &&
           positionRevision == mesh.getPositionRevision() && vertexCount == mesh.getVertexCount() &&
           faces.size() == mesh.getFaceCount();
}

void StrokeStart::build(const Kiln::DynamicMesh& mesh) {
    faces = mesh.getFaces();
    index = Kiln::VertexFaceIndex(faces, mesh.getVertexCount());
    grid.build(mesh.getVertices(), typicalBrushCell(mesh.getVertices(), faces));
    serial = mesh.getSerial();
    topologyRevision = mesh.getTopologyRevision();
    positionRevision = mesh.getPositionRevision();
    vertexCount = mesh.getVertexCount();
    halfLongest = -1.f;
    built = true;
}

std::vector<Kiln::Face> StrokeStart::release() {
    built = false;
    index = Kiln::VertexFaceIndex();
    grid = VertexGrid();
    std::vector<Kiln::Face> out;
    out.swap(faces);
    return out;
}

float StrokeStart::halfLongestEdge(const std::vector<Kiln::Vertex>& vertices) const {
    if (halfLongest >= 0.f)
        return halfLongest;
    float longest2 = 0.f;
    for (const Kiln::Face& face : faces)
        if (face.i0 < vertices.size() && face.i1 < vertices.size() && face.i2 < vertices.size())
            for (int k = 0; k < 3; ++k)
                longest2 = std::max(longest2,
                                    vertices[face[k]].position.squaredDistance(vertices[face[(k + 1) % 3]].position));
    halfLongest = 0.5f * std::sqrt(longest2);
    return halfLongest;
}

MeshArraysState::MeshArraysState(const FunctionBase* function, Kiln::Object& object)
    : FunctionState(function), target(object.getHandle()) {}

Kiln::Object* MeshArraysState::liveTarget() const {
    Kiln::Object* object = target.getObject();
    return object && object->getMesh() ? object : nullptr;
}

void MeshArraysState::swapFaces(Kiln::DynamicMesh& mesh) {
    mesh.swapFaces(faces);
}

void MeshArraysState::undo() {
    Kiln::Object* object = liveTarget();
    if (!object)
        return;
    Kiln::DynamicMesh& mesh = *object->getMesh();
    std::vector<Kiln::Vertex> list;
    mesh.swapVertices(list);
    if (wholeVertices) {
        list.swap(vertices);
    } else if (list.size() >= appended.size()) {
        list.resize(list.size() - appended.size());
        reinsertVertices(list, removedIndices, removedValues);
    }
    mesh.swapVertices(list);
    swapFaces(mesh);
    object->notifyMeshChanged();
}

void MeshArraysState::redo() {
    Kiln::Object* object = liveTarget();
    if (!object)
        return;
    Kiln::DynamicMesh& mesh = *object->getMesh();
    std::vector<Kiln::Vertex> list;
    mesh.swapVertices(list);
    if (wholeVertices) {
        list.swap(vertices);
    } else {
        dropVertices(list, removedIndices);
        list.insert(list.end(), appended.begin(), appended.end());
    }
    mesh.swapVertices(list);
    swapFaces(mesh);
    object->notifyMeshChanged();
}

void MeshArraysState::recordRemovedVertices(const Kiln::DynamicMesh& mesh, std::vector<std::uint32_t> ascending) {
    removedIndices = std::move(ascending);
    removedValues.clear();
    removedValues.reserve(removedIndices.size());
    for (const std::uint32_t v : removedIndices)
        removedValues.push_back(mesh.getVertices()[v]);
}

void MeshArraysState::recordWholeVertices(const Kiln::DynamicMesh& mesh, std::size_t startCount) {
    const std::vector<Kiln::Vertex>& list = mesh.getVertices();
    vertices.assign(list.begin(), list.begin() + std::ptrdiff_t(std::min(startCount, list.size())));
    wholeVertices = true;
    removedIndices.clear();
    removedValues.clear();
}

void MeshArraysState::recordAppendedVertices(const Kiln::DynamicMesh& mesh, std::size_t startCount) {
    const std::vector<Kiln::Vertex>& list = mesh.getVertices();
    const std::size_t kept = startCount - removedIndices.size();
    if (wholeVertices || kept > list.size())
        return;
    appended.assign(list.begin() + std::ptrdiff_t(kept), list.end());
}

ResolutionBrush ResolutionBrush::of(const Kiln::HapticState& state) {
    const float r = static_cast<float>(state.proxyRadius);
    const Ogre::Vector3 d = state.position - state.proxyPosition;
    const float depth = d.length();
    ResolutionBrush brush;
    brush.centre = depth > 0.f ? state.proxyPosition + d * (r / depth) : state.proxyPosition;
    brush.radius = r + 0.5f * depth;
    return brush;
}

MeshBrushFunction::MeshBrushFunction(FunctionContext& context, const std::string& name, const FunctionText& title,
                                     const FunctionText& help, const std::string& strokeEndText,
                                     const std::string& wholeText)
    : FunctionBase(context, name, FUNCTION_TOOL, "Properties", title, help), strokeEndText(strokeEndText),
      wholeText(wholeText) {}

void MeshBrushFunction::activate() {
    if (context.haptics)
        context.haptics->setStylusColour(STYLUS_COLOUR);
}

void MeshBrushFunction::deactivate() {
    if (state)
        endStroke();
    if (context.haptics)
        context.haptics->setStylusColour(Ogre::ColourValue::White);
}

void MeshBrushFunction::hapticMoved(const Kiln::HapticEvent& event) {
    const bool held = (event.getState().buttons & 1u) != 0;
    if (!state) {
        if (!held || !context.haptics)
            return;
        std::vector<Kiln::ObjectHandle> touched = context.haptics->getTouchedObjects();
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        Kiln::Object* object = touched.size() == 1 ? touched.front().getObject() : nullptr;
        if (!object || !startStroke(*object))
            return;
    } else if (!held) {
        endStroke();
        return;
    }
    Kiln::Object* object = target.getObject();
    if (!object || !object->getMesh()) {
        endStroke();
        return;
    }
    if (growCandidates(worldTransform, ResolutionBrush::of(event.getState())))
        pass(*object);
}

void MeshBrushFunction::buttonReleased(const FunctionButtonEvent& event) {
    if (!state || !event.button(0))
        return;
    if (context.status)
        context.status->setHelpText(strokeEndText);
    endStroke();
}

void MeshBrushFunction::keyPressed(const OIS::KeyEvent& event) {
    if (event.key == OIS::KC_X && !state)
        applyToSelection();
}

bool MeshBrushFunction::applyToSelection() {
    if (state || !context.selection)
        return false;
    const Kiln::SelectionManager::HandleSet& selected = context.selection->getSelected();
    const std::vector<Kiln::Object*> objects = context.selection->getSelectedObjects();
    if (selected.size() != 1 || objects.size() != 1 || !startStroke(*objects.front()))
        return false;
    if (context.status)
        context.status->setHelpText(wholeText);
    takeEverything();
    pass(*objects.front());
    endStroke();
    return true;
}

bool MeshBrushFunction::startStroke(Kiln::Object& object) {
    Kiln::DynamicMesh* mesh = object.getMesh();
    if (!mesh || mesh->getFaceCount() == 0)
        return false;
    beginOperation();
    target = object.getHandle();
    state = std::make_unique<MeshArraysState>(this, object);
    savedMaterial = object.getParameterValue<std::string>("material").value_or("");
    object.setParameter("material", "wireframeMaterial");
    worldTransform = object.getWorldMatrix();
    inverseWorld = object.getInverseWorldMatrix();
    const Ogre::Matrix3 linear = worldTransform.linear();
    smallestScale = std::min({linear.GetColumn(0).length(), linear.GetColumn(1).length(),
                              linear.GetColumn(2).length()});
    modified = false;
    // The passes read the starting faces from `start`; the vertices stay in
    // the mesh, where the passes only append.
    if (!start.matches(*mesh))
        start.build(*mesh);
    startVertexCount = mesh->getVertexCount();
    beginPasses(mesh->getVertices(), start);
    return true;
}

void MeshBrushFunction::pass(Kiln::Object& object) {
    runPass(*object.getMesh());
    object.notifyMeshChanged();
    modified = true;
}

void MeshBrushFunction::endStroke() {
    Kiln::Object* object = target.getObject();
    if (object && !savedMaterial.empty())
        object->setParameter("material", savedMaterial);
    std::unique_ptr<MeshArraysState> finished = std::move(state);
    if (object && modified && object->getMesh()) {
        cleanUp(*object->getMesh(), *finished);
        finished->recordAppendedVertices(*object->getMesh(), startVertexCount);
        object->notifyMeshChanged();
        // The mesh changed, so `start` is stale: its faces go to the entry.
        finished->takeStartFaces(start.release());
        commitOperation(std::move(finished));
    } else {
        endOperation();
        if (!object || !object->getMesh() || !start.matches(*object->getMesh()))
            start.clear();
    }
    endPasses();
    target = Kiln::ObjectHandle();
    worldTransform = Ogre::Matrix4::IDENTITY;
    savedMaterial.clear();
    modified = false;
}

MeshBrushFunction::LocalSphere MeshBrushFunction::toLocal(const ResolutionBrush& brush) const {
    const float scale = smallestScale > 0.f ? smallestScale : 1.f;
    return {inverseWorld * brush.centre, brush.radius / scale};
}
