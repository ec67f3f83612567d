#include "graphics/MeshRenderer.h"

#include "detail/BufferCapacity.h"
#include "detail/ShadowEdges.h"
#include "detail/VertexNormals.h"
#include "log/DebugChannel.h"

#include <OgreEntity.h>
#include <OgreHardwareBufferManager.h>
#include <OgreMaterialManager.h>
#include <OgreMeshManager.h>
#include <OgreRenderSystem.h>
#include <OgreRoot.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreSubEntity.h>
#include <OgreSubMesh.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace Kiln {
namespace {

DebugChannel& channel() { return debugChannel("MeshRenderer"); }

// One buffer per element so that each can be refilled on its own.
enum Source : unsigned short { SOURCE_POSITION = 0, SOURCE_NORMAL = 1, SOURCE_COLOUR = 2,
                               SOURCE_TEXCOORD = 3, SOURCE_COUNT = 4 };

std::string nextMeshName() {
    static std::atomic<unsigned> counter{0};
    return "DynamicMesh_" + std::to_string(counter++);
}

const char* const kDefaultMaterial = "defaultMaterial";

bool materialExists(const std::string& name) {
    return Ogre::MaterialManager::getSingleton().resourceExists(
        name, Ogre::ResourceGroupManager::AUTODETECT_RESOURCE_GROUP_NAME);
}

/// Locks a whole buffer with discard for the lifetime of the object.
class DiscardLock {
public:
    template <typename BufferPtr>
    explicit DiscardLock(const BufferPtr& buffer_)
        : buffer(buffer_.get()), data(buffer->lock(Ogre::HardwareBuffer::HBL_DISCARD)) {}
    ~DiscardLock() { buffer->unlock(); }
    DiscardLock(const DiscardLock&) = delete;
    DiscardLock& operator=(const DiscardLock&) = delete;
    template <typename T> T* as() const { return static_cast<T*>(data); }

private:
    Ogre::HardwareBuffer* buffer; // kept alive by the mesh's bindings
    void* data;
};

} // namespace

MeshRenderer::MeshRenderer(Ogre::SceneManager& sceneManager_, Ogre::SceneNode& node_,
                           const DynamicMesh& mesh_)
    : sceneManager(sceneManager_), node(node_), mesh(&mesh_), name(nextMeshName()) {
    engineMesh = Ogre::MeshManager::getSingleton().createManual(
        name, Ogre::ResourceGroupManager::DEFAULT_RESOURCE_GROUP_NAME);
    // The engine's builder would read the write-only buffers back: the
    // edge list is built from the mesh's own lists instead.
    engineMesh->setAutoBuildEdgeLists(false);
    Ogre::SubMesh* subMesh = engineMesh->createSubMesh();
    subMesh->useSharedVertices = false;
    subMesh->operationType = Ogre::RenderOperation::OT_TRIANGLE_LIST;
    subMesh->vertexData = new Ogre::VertexData();
    subMesh->indexData->indexStart = 0;
    // Marks the mesh prepared while it has no position yet (so the engine
    // changes nothing): otherwise the entity would double the position
    // buffer on its own, over the extruded copy this renderer keeps.
    engineMesh->prepareForShadowVolume();
    buildDeclaration();
    fill(true);
    engineMesh->load();
    if (materialExists(kDefaultMaterial))
        subMesh->setMaterialName(kDefaultMaterial);
    entity = sceneManager.createEntity(name);
    // With no indices the engine would draw the bare vertex list.
    entity->getSubEntity(0)->setVisible(indexCount > 0);
    node.attachObject(entity);
    setMaterial(requestedMaterial);
}

MeshRenderer::~MeshRenderer() {
    if (entity) {
        entity->detachFromParent();
        sceneManager.destroyEntity(entity);
    }
    if (engineMesh) {
        // The edge list is ours, not the engine mesh's to delete.
        engineMesh->getLodLevel(0).edgeData = nullptr;
        Ogre::MeshManager::getSingleton().remove(engineMesh);
        engineMesh.reset();
    }
}

void MeshRenderer::buildDeclaration() {
    Ogre::VertexDeclaration* declaration = engineMesh->getSubMesh(0)->vertexData->vertexDeclaration;
    declaration->addElement(SOURCE_POSITION, 0, Ogre::VET_FLOAT3, Ogre::VES_POSITION);
    declaration->addElement(SOURCE_NORMAL, 0, Ogre::VET_FLOAT3, Ogre::VES_NORMAL);
    declaration->addElement(SOURCE_COLOUR, 0, Ogre::VET_UBYTE4_NORM, Ogre::VES_DIFFUSE);
    declaration->addElement(SOURCE_TEXCOORD, 0, Ogre::VET_FLOAT2, Ogre::VES_TEXTURE_COORDINATES);
}

void MeshRenderer::setMesh(const DynamicMesh& newMesh) {
    if (&newMesh == mesh) {
        refresh();
        return;
    }
    mesh = &newMesh;
    vertexCount = 0;
    indexCount = 0;
    fill(true);
}

void MeshRenderer::refresh() { fill(false); }

void MeshRenderer::setDeformation(VertexListWorker* worker) {
    deformation = worker;
    fill(true);
}

Ogre::VertexData& MeshRenderer::vertexData() const { return *engineMesh->getSubMesh(0)->vertexData; }

bool MeshRenderer::prepareVertexBuffers(std::size_t count, bool doubled) {
    channel() << "prepareVertexBuffers(): current vertex count = " << count << endl;
    const std::size_t capacity = bufferCapacityFor(count, vertexCapacity);
    if (capacity == vertexCapacity && doubled == positionsDoubled)
        return false;
    // Only the position buffer grows for a shadow volume.
    const unsigned short first = capacity == vertexCapacity ? SOURCE_POSITION : 0;
    const unsigned short end = capacity == vertexCapacity ? SOURCE_POSITION + 1 : SOURCE_COUNT;
    Ogre::VertexData& data = vertexData();
    auto& buffers = Ogre::HardwareBufferManager::getSingleton();
    for (unsigned short source = first; source < end; ++source) {
        const std::size_t elements = source == SOURCE_POSITION && doubled ? 2 * capacity : capacity;
        data.vertexBufferBinding->setBinding(
            source, buffers.createVertexBuffer(data.vertexDeclaration->getVertexSize(source), elements,
                                               Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE,
                                               false));
        ++uploads.reallocations;
    }
    vertexCapacity = capacity;
    positionsDoubled = doubled;
    return true;
}

bool MeshRenderer::prepareIndexBuffer(std::size_t count) {
    const std::size_t capacity = bufferCapacityFor(count, indexCapacity);
    if (capacity == indexCapacity)
        return false;
    engineMesh->getSubMesh(0)->indexData->indexBuffer =
        Ogre::HardwareBufferManager::getSingleton().createIndexBuffer(
            Ogre::HardwareIndexBuffer::IT_32BIT, capacity,
            Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE, false);
    ++uploads.reallocations;
    indexCapacity = capacity;
    return true;
}

const std::vector<Vertex>& MeshRenderer::drawnVertices() {
    if (!deformation)
        return mesh->getVertices();
    deformed.assign(mesh->getVertices().begin(), mesh->getVertices().end());
    (*deformation)(deformed);
    // A worker that resizes the list would break the faces: draw the
    // mesh as it is instead.
    if (deformed.size() != mesh->getVertexCount())
        return mesh->getVertices();
    return deformed;
}

bool MeshRenderer::wantsShadowVolume(std::size_t count) {
    const Ogre::RenderSystem* renderSystem = Ogre::Root::getSingleton().getRenderSystem();
    // Without vertex programs the engine would extrude on the CPU, reading
    // the write-only position buffer back.
    if (!castShadows || !sceneManager.isShadowTechniqueStencilBased() || !renderSystem ||
        !renderSystem->getCapabilities()->hasCapability(Ogre::RSC_VERTEX_PROGRAM))
        return false;
    if (count <= kMaxShadowVolumeVertices) {
        tooLargeReported = false;
        return count > 0;
    }
    if (!tooLargeReported)
        channel() << name << ": " << count << " vertices are more than a stencil shadow can take ("
                  << kMaxShadowVolumeVertices << "): it casts no shadow" << endl;
    tooLargeReported = true;
    return false;
}

void MeshRenderer::fill(bool everything) {
    const std::size_t newVertexCount = mesh->getVertexCount();
    const std::size_t newIndexCount = mesh->getFaceCount() * 3;
    const bool volumeWanted = wantsShadowVolume(newVertexCount);
    const bool vertexBuffersNew = prepareVertexBuffers(newVertexCount, volumeWanted);
    const bool indexBufferNew = prepareIndexBuffer(newIndexCount);
    const bool countChanged = newVertexCount != vertexCount;
    const bool allVertices = everything || !filledOnce || vertexBuffersNew || countChanged;
    const bool topologyChanged = mesh->getTopologyRevision() != written.topology;
    const bool positionsDue = allVertices || deformation || topologyChanged ||
                              mesh->getPositionRevision() != written.position;
    const bool coloursDue = allVertices || deformation || mesh->getColourRevision() != written.colour;
    const bool indicesDue = everything || !filledOnce || indexBufferNew || topologyChanged ||
                            newIndexCount != indexCount;
    const bool volumeDue = volumeWanted != volumeReady;
    if (!positionsDue && !coloursDue && !indicesDue && !volumeDue)
        return;
    if (positionsDue || coloursDue)
        channel() << "fill(): vertex list has changed..." << endl;
    channel() << "fill(): vertex count = " << newVertexCount << endl;

    vertexCount = newVertexCount;
    indexCount = newIndexCount;
    Ogre::SubMesh& subMesh = *engineMesh->getSubMesh(0);
    subMesh.vertexData->vertexStart = 0;
    subMesh.vertexData->vertexCount = vertexCount;
    subMesh.indexData->indexCount = indexCount;

    const std::vector<Vertex>& vertices = drawnVertices();
    if (positionsDue) {
        writePositionsAndNormals(vertices, volumeWanted);
        writeTextureCoords(vertices);
    }
    if (coloursDue)
        writeColours(vertices);
    if (indicesDue)
        writeIndices();
    updateShadowVolume(vertices, volumeWanted, vertexBuffersNew, countChanged, topologyChanged || everything,
                       positionsDue);

    written = {mesh->getPositionRevision(), mesh->getColourRevision(), mesh->getTopologyRevision()};
    filledOnce = true;
    if (entity)
        entity->getSubEntity(0)->setVisible(indexCount > 0);
}


void MeshRenderer::writePositionsAndNormals(const std::vector<Vertex>& vertices, bool doubled) {
    computeVertexNormals(vertices, mesh->getFaces(), normals);
    Ogre::VertexBufferBinding& binding = *engineMesh->getSubMesh(0)->vertexData->vertexBufferBinding;
    bounds.setNull();
    {
        const DiscardLock lock(binding.getBuffer(SOURCE_POSITION));
        float* out = lock.as<float>();
        // The shadow volume's extruded copy follows the vertices; written
        // from the source, as mapped write-only memory is slow to read.
        float* copy = doubled ? out + 3 * vertices.size() : nullptr;
        for (const Vertex& vertex : vertices) {
            *out++ = vertex.position.x;
            *out++ = vertex.position.y;
            *out++ = vertex.position.z;
            bounds.merge(vertex.position);
        }
        if (copy)
            for (const Vertex& vertex : vertices) {
                *copy++ = vertex.position.x;
                *copy++ = vertex.position.y;
                *copy++ = vertex.position.z;
            }
    }
    {
        const DiscardLock lock(binding.getBuffer(SOURCE_NORMAL));
        std::memcpy(lock.as<void>(), normals.data(), normals.size() * sizeof(Ogre::Vector3));
    }
    uploads.positions++;
    engineMesh->_setBounds(bounds, false);
    engineMesh->_setBoundingSphereRadius(bounds.isFinite() ? bounds.getHalfSize().length() : 0.0f);
    if (entity && entity->getParentSceneNode())
        entity->getParentSceneNode()->needUpdate();
}

void MeshRenderer::updateShadowVolume(const std::vector<Vertex>& vertices, bool wanted,
                                      bool buffersReplaced, bool countChanged, bool topologyChanged,
                                      bool positionsWritten) {
    if (!wanted) {
        dropShadowVolume();
        return;
    }
    const bool rebind = !volumeReady || buffersReplaced || countChanged;
    if (rebind)
        writeExtrusionWeights();
    if (rebind || topologyChanged || !shadowEdges) {
        engineMesh->getLodLevel(0).edgeData = nullptr;
        shadowEdges = buildShadowEdges(vertices, mesh->getFaces(), &vertexData());
        if (!shadowEdges)
            channel() << name << ": no face to cast a stencil shadow from" << endl;
        engineMesh->getLodLevel(0).edgeData = shadowEdges.get();
    } else if (positionsWritten) {
        updateShadowFaceNormals(*shadowEdges, vertices);
    }
    volumeReady = true;
    if (rebind)
        rebindEntity();
}

void MeshRenderer::writeExtrusionWeights() {
    // The extrusion program moves a vertex to infinity where its weight is 0:
    // the copy behind the vertices.
    Ogre::VertexData& data = vertexData();
    if (!data.hardwareShadowVolWBuffer || data.hardwareShadowVolWBuffer->getNumVertices() != 2 * vertexCapacity) {
        data.hardwareShadowVolWBuffer = Ogre::HardwareBufferManager::getSingleton().createVertexBuffer(
            sizeof(float), 2 * vertexCapacity, Ogre::HardwareBuffer::HBU_STATIC_WRITE_ONLY, false);
        ++uploads.reallocations;
    }
    const DiscardLock lock(data.hardwareShadowVolWBuffer);
    float* out = lock.as<float>();
    std::fill(out, out + vertexCount, 1.0f);
    std::fill(out + vertexCount, out + 2 * vertexCapacity, 0.0f);
}

void MeshRenderer::dropShadowVolume() {
    if (!volumeReady)
        return;
    engineMesh->getLodLevel(0).edgeData = nullptr;
    shadowEdges.reset();
    vertexData().hardwareShadowVolWBuffer.reset();
    volumeReady = false;
    rebindEntity();
}

void MeshRenderer::rebindEntity() {
    if (!entity)
        return;
    entity->_initialise(true);
    applyMaterial();
    entity->getSubEntity(0)->setVisible(indexCount > 0);
}

void MeshRenderer::writeColours(const std::vector<Vertex>& vertices) {
    const DiscardLock lock(
        engineMesh->getSubMesh(0)->vertexData->vertexBufferBinding->getBuffer(SOURCE_COLOUR));
    Ogre::uint32* out = lock.as<Ogre::uint32>();
    // Bytes in memory are r, g, b, a: the order VET_UBYTE4_NORM reads.
    for (const Vertex& vertex : vertices)
        *out++ = vertex.colour.getAsABGR();
    uploads.colours++;
}

void MeshRenderer::writeTextureCoords(const std::vector<Vertex>& vertices) {
    const DiscardLock lock(
        engineMesh->getSubMesh(0)->vertexData->vertexBufferBinding->getBuffer(SOURCE_TEXCOORD));
    float* out = lock.as<float>();
    for (const Vertex& vertex : vertices) {
        *out++ = vertex.u;
        *out++ = vertex.v;
    }
    uploads.textureCoords++;
}

void MeshRenderer::writeIndices() {
    const DiscardLock lock(engineMesh->getSubMesh(0)->indexData->indexBuffer);
    std::uint32_t* out = lock.as<std::uint32_t>();
    const std::uint32_t count = std::uint32_t(vertexCount);
    // A face pointing outside the vertex list would make the GPU read
    // beyond the buffer; it is drawn as a degenerate triangle instead.
    for (const Face& face : mesh->getFaces()) {
        const bool valid = face.i0 < count && face.i1 < count && face.i2 < count;
        *out++ = valid ? face.i0 : 0;
        *out++ = valid ? face.i1 : 0;
        *out++ = valid ? face.i2 : 0;
    }
    uploads.indices++;
}

void MeshRenderer::setMaterial(const std::string& material) {
    requestedMaterial = material;
    if (!materialExists(material))
        channel() << "material \"" << material << "\" does not exist: using \"" << kDefaultMaterial
                  << "\" instead" << endl;
    applyMaterial();
}

void MeshRenderer::applyMaterial() {
    if (!entity)
        return;
    const std::string used = materialExists(requestedMaterial) ? requestedMaterial : kDefaultMaterial;
    if (materialExists(used))
        entity->setMaterialName(used);
    else
        entity->setMaterial(Ogre::MaterialManager::getSingleton().getDefaultMaterial());
}

std::string MeshRenderer::getEffectiveMaterial() const {
    return entity ? entity->getSubEntity(0)->getMaterialName() : std::string();
}

void MeshRenderer::setCastShadows(bool cast) {
    castShadows = cast;
    if (entity)
        entity->setCastShadows(cast);
    fill(false);
}

bool MeshRenderer::getCastShadows() const { return entity && entity->getCastShadows(); }

} // namespace Kiln
