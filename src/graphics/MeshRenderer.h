#pragma once
// Draws one DynamicMesh through a manual engine mesh with dynamic buffers,
// refilling only the buffers whose data the mesh's revision counters say
// have changed since the last fill.
#include "mesh/DynamicMesh.h"

#include <OgreAxisAlignedBox.h>
#include <OgreHardwareVertexBuffer.h>
#include <OgreMesh.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ogre {
class EdgeData;
class Entity;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace Kiln {

/// How often each buffer was written or reallocated since construction.
/// Lets tests and benchmarks see what a change actually costs.
struct MeshUploadCounts {
    std::size_t positions = 0;    ///< position and normal buffers (always together)
    std::size_t colours = 0;
    std::size_t textureCoords = 0;
    std::size_t indices = 0;
    std::size_t reallocations = 0; ///< buffers replaced by the capacity rule
};

class MeshRenderer {
public:
    /// Creates the engine mesh "DynamicMesh_<n>" and its entity, attaches
    /// the entity to `node` with "defaultMaterial", and fills the buffers.
    MeshRenderer(Ogre::SceneManager& sceneManager, Ogre::SceneNode& node, const DynamicMesh& mesh);
    /// Detaches and destroys the entity and the engine mesh.
    ~MeshRenderer();
    MeshRenderer(const MeshRenderer&) = delete;
    MeshRenderer& operator=(const MeshRenderer&) = delete;

    /// Draws `mesh` from now on (everything is refilled); the same mesh
    /// only refreshes.
    void setMesh(const DynamicMesh& mesh);
    const DynamicMesh& getMesh() const { return *mesh; }
    /// Refills the buffers whose data changed since the last fill: positions
    /// with normals, colours, indices. While a deformation worker is set,
    /// positions, normals and colours are refilled every time.
    void refresh();
    /// A worker applied to a copy of the vertices before they are written
    /// (the mesh itself stays unchanged); null removes it. Not owned.
    void setDeformation(VertexListWorker* worker);
    VertexListWorker* getDeformation() const { return deformation; }

    /// An unknown material name falls back to "defaultMaterial" (one line
    /// on the "MeshRenderer" debug channel). getMaterial answers the name
    /// asked for, so that saving the scene keeps it.
    void setMaterial(const std::string& name);
    const std::string& getMaterial() const { return requestedMaterial; }
    /// The material actually drawn with.
    std::string getEffectiveMaterial() const;
    /// Under a stencil shadow technique a caster keeps what its shadow
    /// volume needs (an edge list and the extruded copy of its positions);
    /// a mesh of more than kMaxShadowVolumeVertices vertices, or without a
    /// proper face, casts no stencil shadow (one "MeshRenderer" line).
    void setCastShadows(bool cast);
    bool getCastShadows() const;
    /// Whether the mesh is ready to cast a stencil shadow volume.
    bool hasShadowVolume() const { return shadowEdges != nullptr; }

    /// Mesh-local bounds of the vertices last written.
    const Ogre::AxisAlignedBox& getBounds() const { return bounds; }
    const MeshUploadCounts& getUploadCounts() const { return uploads; }
    std::size_t getVertexCapacity() const { return vertexCapacity; }
    std::size_t getIndexCapacity() const { return indexCapacity; }
    Ogre::Entity* getEntity() const { return entity; }
    const std::string& getName() const { return name; }

private:
    struct Revisions {
        std::uint32_t position = 0, colour = 0, topology = 0;
    };

    void buildDeclaration();
    Ogre::VertexData& vertexData() const;
    /// Applies the capacity rule; true when a buffer was replaced. With
    /// `doubled` the position buffer holds room for the extruded copy.
    bool prepareVertexBuffers(std::size_t count, bool doubled);
    /// True when this fill should keep shadow volume data for `count`
    /// vertices; reports once when a caster is too large.
    bool wantsShadowVolume(std::size_t count);
    void updateShadowVolume(const std::vector<Vertex>& vertices, bool wanted, bool buffersReplaced,
                            bool countChanged, bool topologyChanged, bool positionsWritten);
    void writeExtrusionWeights();
    void dropShadowVolume();
    /// The entity keeps its shadow renderables bound to the buffers and
    /// vertex count it first saw: rebuild them after those change.
    void rebindEntity();
    void applyMaterial();
    bool prepareIndexBuffer(std::size_t count);
    void fill(bool everything);
    void writePositionsAndNormals(const std::vector<Vertex>& vertices, bool doubled);
    void writeColours(const std::vector<Vertex>& vertices);
    void writeTextureCoords(const std::vector<Vertex>& vertices);
    void writeIndices();
    /// The vertices to draw: the mesh's, or the deformed copy.
    const std::vector<Vertex>& drawnVertices();

    Ogre::SceneManager& sceneManager;
    Ogre::SceneNode& node;
    const DynamicMesh* mesh;
    VertexListWorker* deformation = nullptr;
    std::string name;
    Ogre::MeshPtr engineMesh;
    Ogre::Entity* entity = nullptr;
    std::size_t vertexCapacity = 0;
    std::size_t indexCapacity = 0;
    std::size_t vertexCount = 0;
    std::size_t indexCount = 0;
    Revisions written;
    bool filledOnce = false;
    std::string requestedMaterial = "defaultMaterial";
    bool castShadows = true;
    bool positionsDoubled = false;
    bool volumeReady = false;
    bool tooLargeReported = false;
    std::unique_ptr<Ogre::EdgeData> shadowEdges;
    Ogre::AxisAlignedBox bounds;
    MeshUploadCounts uploads;
    // Scratch kept between fills so that a mesh deformed every frame
    // does not allocate.
    std::vector<Vertex> deformed;
    std::vector<Ogre::Vector3> normals;
};

} // namespace Kiln
