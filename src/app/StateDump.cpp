#include "app/StateDump.h"

#include "app/JsonWriter.h"
#include "haptics/HapticManager.h"
#include "haptics/HapticsPresenter.h"
#include "hapticdevice/IHapticsDevice.h"
#include "mesh/MeshMeasures.h"
#include "scene/Object.h"
#include "scene/SelectionManager.h"

#include <algorithm>

namespace Kiln {
namespace {

void writeVector(JsonWriter& json, const Ogre::Vector3& v) {
    json.beginArray().value(v.x).value(v.y).value(v.z).endArray();
}

/// The node's transform relative to the scene root, from the local
/// transforms below the root (exact for the root's children, where going
/// through the root's inverse would round).
Ogre::Matrix4 rootRelative(const ObjectGroup& node, const ObjectGroup& root) {
    Ogre::Matrix4 m = Ogre::Matrix4::IDENTITY;
    for (const ObjectGroup* n = &node; n && n != &root; n = n->hasParent() ? n->getParent() : nullptr)
        m = n->getLocalMatrix() * m;
    return m;
}

Ogre::Vector3 toRoot(const ObjectGroup& root, const Ogre::Vector3& world) {
    return root.getInverseWorldMatrix() * world;
}

Ogre::ColourValue meanColour(const DynamicMesh& mesh) {
    double sum[4] = {0, 0, 0, 0};
    for (const Vertex& v : mesh.getVertices())
        for (int i = 0; i < 4; ++i)
            sum[i] += v.colour[i];
    const double n = std::max<std::size_t>(mesh.getVertexCount(), 1);
    return Ogre::ColourValue(float(sum[0] / n), float(sum[1] / n), float(sum[2] / n),
                             float(sum[3] / n));
}

/// Largest distance, in root units, that the live dent draws a vertex
/// away from its stored position.
double liveDent(const ObjectGroup& node, const ObjectGroup& root, const DynamicMesh& mesh) {
    const HapticsPresenter* presenter = HapticsPresenter::of(node);
    const HapticDeformation* dent = presenter ? presenter->getDeformation() : nullptr;
    if (!dent)
        return 0.0;
    const Ogre::Matrix4 toRootFrame = rootRelative(node, root);
    double largest = 0.0;
    for (const Vertex& v : mesh.getVertices()) {
        const Ogre::Vector3 p(v.position[0], v.position[1], v.position[2]);
        const Ogre::Vector3 moved = dent->apply(p);
        if (moved == p)
            continue;
        const double d = (toRootFrame * moved - toRootFrame * p).length();
        largest = std::max(largest, d);
    }
    return largest;
}

std::string stringParameter(const ObjectGroup& node, const std::string& name,
                            const std::string& fallback) {
    const auto value = node.getParameterValue<std::string>(name);
    return value ? *value : fallback;
}

void writeMeshFields(JsonWriter& json, const ObjectGroup& node, const ObjectGroup& root,
                     const DynamicMesh* mesh) {
    const Ogre::Matrix4 transform = rootRelative(node, root);
    json.key("vertices").value(std::uint64_t(mesh ? mesh->getVertexCount() : 0));
    json.key("faces").value(std::uint64_t(mesh ? mesh->getFaceCount() : 0));
    json.key("closed").value(mesh ? isClosed(*mesh) : true);
    json.key("volume").value(mesh ? signedVolume(*mesh, transform) : 0.0);
    json.key("bbox");
    const Ogre::AxisAlignedBox box = mesh ? bounds(*mesh, transform) : Ogre::AxisAlignedBox();
    if (box.isNull())
        json.null();
    else
        json.beginArray(), writeVector(json, box.getMinimum()), writeVector(json, box.getMaximum()),
            json.endArray();
    json.key("colour");
    if (mesh && mesh->getVertexCount() > 0) {
        const Ogre::ColourValue c = meanColour(*mesh);
        json.beginArray().value(c.r).value(c.g).value(c.b).value(c.a).endArray();
    } else {
        json.null();
    }
    json.key("liveDent").value(mesh ? liveDent(node, root, *mesh) : 0.0);
}

bool isSelected(const StateView& view, ObjectGroup& node) {
    return view.selection && view.selection->isSelected(node.getHandle());
}

void writeNode(JsonWriter& json, const StateView& view, const ObjectGroup& node,
               const ObjectGroup* parent) {
    auto& mutableNode = const_cast<ObjectGroup&>(node); // handles are made on demand
    json.beginObject();
    json.key("id").value(node.getId());
    json.key("name").value(stringParameter(node, "name", ""));
    json.key("parent");
    if (parent && parent != view.sceneRoot)
        json.value(parent->getId());
    else
        json.null();
    json.key("kind").value(node.isObject() ? "object" : "group");
    writeMeshFields(json, node, *view.sceneRoot, node.getMesh());
    json.key("material").value(stringParameter(node, "material", "defaultMaterial"));
    json.key("stiffness");
    const auto stiffness = node.getParameterValue<float>("stiffness");
    if (stiffness)
        json.value(*stiffness);
    else
        json.null();
    json.key("visible").value(node.isVisible());
    json.key("selected").value(isSelected(view, mutableNode));
    json.endObject();
    for (const auto& child : node.getChildren())
        writeNode(json, view, *child, &node);
}

void writeStylus(JsonWriter& json, const StateView& view) {
    json.key("stylus");
    if (!view.haptics) {
        json.null();
        return;
    }
    const HapticState& state = view.haptics->getState();
    const ObjectGroup& root = *view.sceneRoot;
    json.beginObject();
    json.key("device"), writeVector(json, toRoot(root, state.position));
    json.key("proxy"), writeVector(json, toRoot(root, state.proxyPosition));
    const double rootScale = root.getWorldTransform().scale.x;
    json.key("radius").value(rootScale != 0.0 ? state.proxyRadius / rootScale : state.proxyRadius);
    json.key("buttons").value(std::uint64_t(state.buttons));
    json.key("touching").beginArray();
    for (const ObjectHandle& handle : view.haptics->getTouchedObjects())
        if (handle)
            json.value(handle->getId());
    json.endArray();
    json.key("deviceKind").value(view.deviceName);
    if (view.deviceHomed)
        json.key("homed").value(*view.deviceHomed);
    json.endObject();
}

/// The active tool's lines and captions, points in the scene root's frame
/// like the objects' boxes.
void writeMarks(JsonWriter& json, const StateView& view) {
    json.key("marks").beginArray();
    for (const MarkView& mark : view.marks) {
        json.beginObject();
        json.key("node").value(mark.node);
        json.key("points").beginArray();
        for (const Ogre::Vector3& p : mark.points)
            writeVector(json, view.sceneRoot ? toRoot(*view.sceneRoot, p) : p);
        json.endArray();
        json.key("text").value(mark.text);
        json.endObject();
    }
    json.endArray();
}

void writeSummary(JsonWriter& json, const char* name, const FrameTimes::Summary& s) {
    json.key(name).beginObject();
    json.key("mean").value(s.mean).key("p95").value(s.p95).key("max").value(s.max);
    json.key("frames").value(std::uint64_t(s.frames));
    json.endObject();
}

/// Main-thread milliseconds of recent frames: whole frames, and the part
/// spent on input, haptic events, touches and live dents, and the functions.
void writeFrameTimes(JsonWriter& json, const FrameTimes& times) {
    json.key("frameTimes").beginObject();
    writeSummary(json, "frame", times.frames());
    writeSummary(json, "interaction", times.interaction());
    json.endObject();
}

void writeGui(JsonWriter& json, const StateView& view) {
    json.key("windows").beginObject();
    for (const WindowView& window : view.windows) {
        json.key(window.name).beginObject();
        json.key("visible").value(window.visible);
        json.key("enabled").value(window.enabled);
        if (window.selected)
            json.key("selected").value(*window.selected);
        json.key("text").value(window.text);
        json.key("rect").beginArray();
        for (float edge : window.rect)
            json.value(edge);
        json.endArray();
        if (window.value)
            json.key("value").value(*window.value);
        if (window.thumb) {
            json.key("thumb").beginArray();
            for (float edge : *window.thumb)
                json.value(edge);
            json.endArray();
        }
        json.endObject();
    }
    json.endObject();
    json.key("bindings").beginArray();
    for (const BindingView& binding : view.bindings) {
        json.beginObject();
        json.key("window").value(binding.window);
        json.key("event").value(binding.event);
        json.key("function").value(binding.function);
        json.key("argument").value(binding.argument);
        json.endObject();
    }
    json.endArray();
    json.key("dialog");
    if (!view.dialog) {
        json.null();
    } else {
        const DialogView& dialog = *view.dialog;
        json.beginObject();
        json.key("kind").value(dialog.kind);
        json.key("title").value(dialog.title);
        if (dialog.kind == "message") {
            json.key("text").value(dialog.text);
            json.key("buttons").beginArray();
            for (const std::string& button : dialog.buttons)
                json.value(button);
            json.endArray();
        } else {
            json.key("mode").value(dialog.mode);
            json.key("folder").value(dialog.folder);
        }
        json.endObject();
    }
    json.key("language").value(view.language);
}

} // namespace

std::string buildStateDump(const StateView& view) {
    JsonWriter json;
    json.beginObject();
    json.key("frame").value(view.frame);
    json.key("objects").beginArray();
    if (view.sceneRoot)
        for (const auto& child : view.sceneRoot->getChildren())
            writeNode(json, view, *child, view.sceneRoot);
    json.endArray();
    json.key("tool");
    if (view.tool)
        json.value(*view.tool);
    else
        json.null();
    writeMarks(json, view);
    json.key("undo").value(std::uint64_t(view.undo));
    json.key("redo").value(std::uint64_t(view.redo));
    json.key("modified").value(view.modified);
    json.key("currentColour");
    if (view.currentColour)
        writeVector(json, Ogre::Vector3(view.currentColour->r, view.currentColour->g, view.currentColour->b));
    else
        json.null();
    if (view.sceneRoot)
        writeStylus(json, view);
    json.key("haptics").value(view.haptics && view.haptics->isHapticsEnabled());
    json.key("camera").beginObject();
    json.key("position"), writeVector(json, view.cameraPosition);
    json.key("direction"), writeVector(json, view.cameraDirection);
    json.endObject();
    json.key("alert").value(view.alert);
    json.key("status").value(view.status);
    json.key("function").value(view.function);
    if (view.frameTimes)
        writeFrameTimes(json, *view.frameTimes);
    if (view.hasGui)
        writeGui(json, view);
    json.endObject();
    return json.text() + "\n";
}

} // namespace Kiln
