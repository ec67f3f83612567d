#pragma once
// A scene node that owns a triangle mesh.
#include "mesh/DynamicMesh.h"
#include "scene/ObjectGroup.h"

namespace Kiln {

class Object : public ObjectGroup {
public:
    Object() = default;
    ~Object() override;

    DynamicMesh* getMesh() override { return mesh.get(); }
    const DynamicMesh* getMesh() const override { return mesh.get(); }
    bool isObject() const override { return true; }

    /// Replaces the mesh (the old one is deleted) and tells the presenters;
    /// the same mesh again changes nothing.
    void setMesh(std::unique_ptr<DynamicMesh> newMesh);
    /// Tells the presenters that the mesh was edited in place (the mesh's
    /// revision counters say what changed).
    void notifyMeshChanged();
    /// Also tells a new presenter about the mesh.
    void setPresenter(const std::string& name, std::unique_ptr<IObjectPresenter> presenter) override;
    /// Moves the pivot to the mean vertex position; world positions stay.
    void centrePivot() override;

protected:
    std::unique_ptr<ObjectGroup> copyNode() const override;
    void finishCopy(const ObjectGroup& source) override;

private:
    std::unique_ptr<DynamicMesh> mesh;
};

} // namespace Kiln
