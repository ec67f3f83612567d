#include "scene/Object.h"

namespace Kiln {

Object::~Object() {
    // Presenters may look at the mesh while detaching: detach first.
    detachAll();
    mesh.reset();
}

void Object::setMesh(std::unique_ptr<DynamicMesh> newMesh) {
    if (newMesh.get() == mesh.get()) {
        newMesh.release();  // the caller handed us our own mesh
        return;
    }
    mesh = std::move(newMesh);
    forEachPresenter([](IObjectPresenter& p) { p.onMeshChanged(); });
}

void Object::notifyMeshChanged() {
    forEachPresenter([](IObjectPresenter& p) { p.onMeshChanged(); });
}

void Object::setPresenter(const std::string& name, std::unique_ptr<IObjectPresenter> presenter) {
    IObjectPresenter* raw = presenter.get();
    ObjectGroup::setPresenter(name, std::move(presenter));
    if (raw && mesh)
        raw->onMeshChanged();
}

void Object::centrePivot() {
    if (!mesh || mesh->getVertexCount() == 0)
        return;
    std::vector<Vertex> vertices = mesh->getVertices();
    // Summed in double: a million float additions drift visibly.
    double sum[3] = {0, 0, 0};
    for (const Vertex& v : vertices)
        for (int k = 0; k < 3; ++k)
            sum[k] += v.position[k];
    const double n = static_cast<double>(vertices.size());
    const Ogre::Vector3 centre(static_cast<float>(sum[0] / n), static_cast<float>(sum[1] / n),
                               static_cast<float>(sum[2] / n));
    for (Vertex& v : vertices)
        v.position -= centre;
    mesh->swapVertices(vertices);
    forEachPresenter([](IObjectPresenter& p) { p.onMeshChanged(); });
    setPosition(getPosition() + getOrientation() * (getScale() * centre));
}

std::unique_ptr<ObjectGroup> Object::copyNode() const {
    auto copy = std::make_unique<Object>();
    copy->copyTransformFrom(*this);
    return copy;
}

void Object::finishCopy(const ObjectGroup& source) {
    const DynamicMesh* sourceMesh = source.getMesh();
    if (sourceMesh)
        setMesh(sourceMesh->clone());
}

} // namespace Kiln
