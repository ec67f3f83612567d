#include "graphics/MovableText.h"

#include "log/Exception.h"

#include <OgreCamera.h>
#include <OgreFont.h>
#include <OgreFontManager.h>
#include <OgreHardwareBufferManager.h>
#include <OgreMaterialManager.h>
#include <OgreNode.h>
#include <OgreRenderQueue.h>
#include <OgreTechnique.h>

#include <vector>

namespace Kiln {
namespace {

enum Source : unsigned short { SOURCE_POSITION_UV = 0, SOURCE_COLOUR = 1 };
constexpr std::size_t kFloatsPerVertex = 5;

} // namespace

MovableText::MovableText(const std::string& name, const std::string& caption_,
                         const std::string& fontName_, Ogre::Real characterHeight_,
                         const Ogre::ColourValue& colour_)
    : Ogre::MovableObject(name), caption(caption_), characterHeight(characterHeight_), colour(colour_) {
    if (name.empty())
        throw Exception(ErrorCode::General, "Trying to create MovableText without name", "MovableText::MovableText");
    if (caption.empty())
        throw Exception(ErrorCode::General, "Trying to create MovableText without caption", "MovableText::MovableText");
    renderOp.vertexData = new Ogre::VertexData();
    renderOp.useIndexes = false;
    renderOp.operationType = Ogre::RenderOperation::OT_TRIANGLE_LIST;
    Ogre::VertexDeclaration* declaration = renderOp.vertexData->vertexDeclaration;
    declaration->addElement(SOURCE_POSITION_UV, 0, Ogre::VET_FLOAT3, Ogre::VES_POSITION);
    declaration->addElement(SOURCE_POSITION_UV, 12, Ogre::VET_FLOAT2, Ogre::VES_TEXTURE_COORDINATES);
    declaration->addElement(SOURCE_COLOUR, 0, Ogre::VET_UBYTE4_NORM, Ogre::VES_DIFFUSE);
    setFontName(fontName_);
}

MovableText::~MovableText() {
    delete renderOp.vertexData;
    if (material)
        Ogre::MaterialManager::getSingleton().remove(material);
}

const Ogre::String& MovableText::getMovableType() const {
    static const Ogre::String type = "MovableText";
    return type;
}

void MovableText::setFontName(const std::string& name) {
    const Ogre::FontPtr found = Ogre::FontManager::getSingleton().getByName(
        name, Ogre::ResourceGroupManager::AUTODETECT_RESOURCE_GROUP_NAME);
    if (!found)
        throw Exception(ErrorCode::General, "Could not find font " + name, "MovableText::setFontName");
    found->load();
    font = found.get();
    fontName = name;
    if (material)
        Ogre::MaterialManager::getSingleton().remove(material);
    // A copy of the font's material of our own: depth settings differ per text.
    material = font->getMaterial()->clone(mName + "::MovableText::Material");
    material->setLightingEnabled(false);
    showOnTop(onTop);
    rebuildGeometry();
}

void MovableText::setCaption(const std::string& text) {
    if (text == caption)
        return;
    caption = text;
    rebuildGeometry();
}

void MovableText::setColour(const Ogre::ColourValue& value) {
    colour = value;
    coloursDirty = true;
}

void MovableText::setCharacterHeight(Ogre::Real height) {
    characterHeight = height;
    rebuildGeometry();
}

void MovableText::setTextAlignment(HorizontalAlignment h, VerticalAlignment v) {
    horizontal = h;
    vertical = v;
    rebuildGeometry();
}

void MovableText::showOnTop(bool show) {
    onTop = show;
    material->setDepthCheckEnabled(!show);
    material->setDepthWriteEnabled(false);
    setRenderQueueGroup(show ? Ogre::RENDER_QUEUE_OVERLAY - 1 : Ogre::RENDER_QUEUE_MAIN);
}

void MovableText::rebuildGeometry() {
    // Glyph quads in text space: x to the right, y up, one unit = one
    // world unit at scale 1. Spaces advance by half a character height.
    std::vector<float> vertices;
    vertices.reserve(caption.size() * 6 * kFloatsPerVertex);
    float width = 0.0f;
    for (const unsigned char c : caption)
        width += c == ' ' ? characterHeight * 0.5f : font->getGlyphAspectRatio(c) * characterHeight;
    float left = horizontal == H_CENTER ? -width * 0.5f : 0.0f;
    const float top = vertical == V_ABOVE ? characterHeight
                                          : (vertical == V_CENTER ? characterHeight * 0.5f : 0.0f);
    const float bottom = top - characterHeight;
    box.setNull();
    for (const unsigned char c : caption) {
        if (c == ' ') {
            left += characterHeight * 0.5f;
            continue;
        }
        const float right = left + font->getGlyphAspectRatio(c) * characterHeight;
        const Ogre::Font::UVRect& uv = font->getGlyphTexCoords(c);
        const float corners[6][4] = {{left, top, uv.left, uv.top},     {left, bottom, uv.left, uv.bottom},
                                     {right, top, uv.right, uv.top},   {right, top, uv.right, uv.top},
                                     {left, bottom, uv.left, uv.bottom}, {right, bottom, uv.right, uv.bottom}};
        for (const auto& corner : corners)
            vertices.insert(vertices.end(), {corner[0], corner[1], 0.0f, corner[2], corner[3]});
        left = right;
    }
    const std::size_t count = vertices.size() / kFloatsPerVertex;
    box.merge(Ogre::Vector3(horizontal == H_CENTER ? -width * 0.5f : 0.0f, bottom, 0.0f));
    box.merge(Ogre::Vector3(horizontal == H_CENTER ? width * 0.5f : width, top, 0.0f));
    // Turned to the camera, the quad may face any way: the box must hold
    // every turn.
    radius = box.getMaximum().length() > box.getMinimum().length() ? box.getMaximum().length()
                                                                   : box.getMinimum().length();
    box = Ogre::AxisAlignedBox(-radius, -radius, -radius, radius, radius, radius);

    auto& buffers = Ogre::HardwareBufferManager::getSingleton();
    Ogre::VertexData& data = *renderOp.vertexData;
    data.vertexStart = 0;
    data.vertexCount = count;
    const std::size_t capacity = count > 0 ? count : 1;
    const auto positions = buffers.createVertexBuffer(
        data.vertexDeclaration->getVertexSize(SOURCE_POSITION_UV), capacity,
        Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
    if (count > 0)
        positions->writeData(0, vertices.size() * sizeof(float), vertices.data(), true);
    data.vertexBufferBinding->setBinding(SOURCE_POSITION_UV, positions);
    data.vertexBufferBinding->setBinding(
        SOURCE_COLOUR, buffers.createVertexBuffer(data.vertexDeclaration->getVertexSize(SOURCE_COLOUR),
                                                  capacity,
                                                  Ogre::HardwareBuffer::HBU_DYNAMIC_WRITE_ONLY_DISCARDABLE));
    if (mParentNode)
        mParentNode->needUpdate();
    coloursDirty = true;
}

void MovableText::writeColours() {
    const std::size_t count = renderOp.vertexData->vertexCount;
    if (count > 0) {
        const std::vector<Ogre::uint32> colours(count, colour.getAsABGR());
        renderOp.vertexData->vertexBufferBinding->getBuffer(SOURCE_COLOUR)
            ->writeData(0, count * sizeof(Ogre::uint32), colours.data(), true);
    }
    coloursDirty = false;
}

void MovableText::_notifyCurrentCamera(Ogre::Camera* current) {
    Ogre::MovableObject::_notifyCurrentCamera(current);
    camera = current;
}

void MovableText::_updateRenderQueue(Ogre::RenderQueue* queue) {
    if (!isVisible())
        return;
    if (coloursDirty)
        writeColours();
    queue->addRenderable(this, mRenderQueueID, OGRE_RENDERABLE_DEFAULT_PRIORITY);
}

void MovableText::visitRenderables(Ogre::Renderable::Visitor* visitor, bool) {
    visitor->visit(this, 0, false);
}

void MovableText::getRenderOperation(Ogre::RenderOperation& op) {
    if (coloursDirty)
        writeColours();
    op = renderOp;
}

void MovableText::getWorldTransforms(Ogre::Matrix4* transform) const {
    if (!mParentNode) {
        *transform = Ogre::Matrix4::IDENTITY;
        return;
    }
    const Ogre::Quaternion facing =
        camera ? camera->getDerivedOrientation() : mParentNode->_getDerivedOrientation();
    transform->makeTransform(mParentNode->_getDerivedPosition(), mParentNode->_getDerivedScale(),
                             facing);
}

Ogre::Real MovableText::getSquaredViewDepth(const Ogre::Camera* viewer) const {
    return mParentNode ? mParentNode->getSquaredViewDepth(viewer) : 0.0f;
}

const Ogre::LightList& MovableText::getLights() const { return queryLights(); }

} // namespace Kiln
