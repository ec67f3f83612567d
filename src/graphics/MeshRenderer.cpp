#include "graphics/MeshRenderer.h"

#include "graphics/BufferCapacity.h"
#include "graphics/VertexNormals.h"
#include "log/DebugChannel.h"

#include <OgreEntity.h>
#include <OgreHardwareBufferManager.h>
#include <OgreMaterialManager.h>
#include <OgreMeshManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>
#include <OgreSubEntity.h>
#include <OgreSubMesh.h>

#include <atomic>
#include <cstring>

namespace Kiln {
namespace {

DebugChannel& channel() { return debugChannel("MeshPresenter"); }

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
    // Shadow volumes would read the write-only buffers back; the edge
    // lists they need are not kept for meshes that change every frame.
    engineMesh->setAutoBuildEdgeLists(false);
    Ogre::SubMesh* subMesh = engineMesh->createSubMesh();
    subMesh->useSharedVertices = false;
    subMesh->operationType = Ogre::RenderOperation::OT_TRIANGLE_LIST;
    subMesh->vertexData = new Ogre::VertexData();
    subMesh->indexData->indexStart = 0;
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

bool MeshRenderer::prepareVertexBuffers(std::size_t count) {
    channel() << "prepareBuffers(): current vertex count = " << count << endl;
    const std::size_t capacity = bufferCapacityFor(count, vertexCapacity);
    if (capacity == vertexCapacity)
        return false;
    Ogre::VertexData& data = *engineMesh->getSubMesh(0)->vertexData;
    auto& buffers = Ogre::HardwareBufferManager::getSingleton();
    for (unsigned short source = 0; source < SOURCE_COUNT; ++source) {
        data.vertexBufferBinding->setBinding(
            source, buffers.createVertexBuffer(data.vertexDeclaration->getVertexSize(source), capacity,
                                               Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE,
                                               false));
        ++uploads.reallocations;
    }
    vertexCapacity = capacity;
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

void MeshRenderer::fill(bool everything) {
    const std::size_t newVertexCount = mesh->getVertexCount();
    const std::size_t newIndexCount = mesh->getFaceCount() * 3;
    const bool vertexBuffersNew = prepareVertexBuffers(newVertexCount);
    const bool indexBufferNew = prepareIndexBuffer(newIndexCount);
    const bool allVertices = everything || !filledOnce || vertexBuffersNew ||
                             newVertexCount != vertexCount;
    const bool topologyChanged = mesh->getTopologyRevision() != written.topology;
    const bool positionsDue = allVertices || deformation || topologyChanged ||
                              mesh->getPositionRevision() != written.position;
    const bool coloursDue = allVertices || deformation || mesh->getColourRevision() != written.colour;
    const bool indicesDue = everything || !filledOnce || indexBufferNew || topologyChanged ||
                            newIndexCount != indexCount;
    if (!positionsDue && !coloursDue && !indicesDue)
        return;
    if (positionsDue || coloursDue)
        channel() << "fillBuffers(): vertex list has changed..." << endl;
    channel() << "fillBuffers(): vertex count = " << newVertexCount << endl;

    vertexCount = newVertexCount;
    indexCount = newIndexCount;
    Ogre::SubMesh& subMesh = *engineMesh->getSubMesh(0);
    subMesh.vertexData->vertexStart = 0;
    subMesh.vertexData->vertexCount = vertexCount;
    subMesh.indexData->indexCount = indexCount;

    const std::vector<Vertex>& vertices = drawnVertices();
    if (positionsDue) {
        writePositionsAndNormals(vertices);
        writeTextureCoords(vertices);
    }
    if (coloursDue)
        writeColours(vertices);
    if (indicesDue)
        writeIndices();

    written = {mesh->getPositionRevision(), mesh->getColourRevision(), mesh->getTopologyRevision()};
    filledOnce = true;
    if (entity)
        entity->getSubEntity(0)->setVisible(indexCount > 0);
}


void MeshRenderer::writePositionsAndNormals(const std::vector<Vertex>& vertices) {
    computeVertexNormals(vertices, mesh->getFaces(), normals);
    Ogre::VertexBufferBinding& binding = *engineMesh->getSubMesh(0)->vertexData->vertexBufferBinding;
    bounds.setNull();
    {
        const DiscardLock lock(binding.getBuffer(SOURCE_POSITION));
        float* out = lock.as<float>();
        for (const Vertex& vertex : vertices) {
            *out++ = vertex.position.x;
            *out++ = vertex.position.y;
            *out++ = vertex.position.z;
            bounds.merge(vertex.position);
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
    std::string used = material;
    if (!materialExists(used)) {
        channel() << "material \"" << material << "\" does not exist: using \"" << kDefaultMaterial
                  << "\" instead" << endl;
        used = kDefaultMaterial;
    }
    if (!entity)
        return;
    if (materialExists(used))
        entity->setMaterialName(used);
    else
        entity->setMaterial(Ogre::MaterialManager::getSingleton().getDefaultMaterial());
}

std::string MeshRenderer::getEffectiveMaterial() const {
    return entity ? entity->getSubEntity(0)->getMaterialName() : std::string();
}

void MeshRenderer::setCastShadows(bool cast) {
    if (entity)
        entity->setCastShadows(cast);
}

bool MeshRenderer::getCastShadows() const { return entity && entity->getCastShadows(); }

} // namespace Kiln
