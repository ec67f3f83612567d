#include "functions/view/ViewFunctions.h"

#include "functions/FunctionRegistration.h"
#include "scene/ObjectGroup.h"

MORVEL_REGISTER_FUNCTION(WireframeModeFunction);

WireframeModeFunction::WireframeModeFunction(FunctionContext& context)
    : FunctionBase(context, "WireframeModeFunction", FUNCTION_UPDATE, "Other",
                   FunctionText::literal("Switch Wireframe Mode"), FunctionText::literal("")) {}

namespace {

template <typename Visit>
void forEachObject(Kiln::ObjectGroup& group, Visit&& visit) {
    for (const auto& child : group.getChildren()) {
        if (child->isObject())
            visit(*child);
        forEachObject(*child, visit);
    }
}

std::string materialOf(const Kiln::ObjectGroup& object) {
    const auto value = object.getParameterValue<std::string>("material");
    return value ? *value : "defaultMaterial";
}

} // namespace

bool WireframeModeFunction::update(const Ogre::FrameEvent& event) {
    (void)event;
    if (context.gui && context.gui->hasWindow(CHECKBOX)) {
        const bool ticked = context.gui->isSelected(CHECKBOX);
        if (ticked != wireframe)
            setWireframe(ticked);
    }
    return true;
}

void WireframeModeFunction::setWireframe(bool on) {
    wireframe = on;
    if (!context.sceneRoot)
        return;
    if (on) {
        ownMaterials.clear();
        forEachObject(*context.sceneRoot, [this](Kiln::ObjectGroup& object) {
            ownMaterials[object.getId()] = materialOf(object);
            object.setParameter("material", WIREFRAME_MATERIAL);
        });
        return;
    }
    forEachObject(*context.sceneRoot, [this](Kiln::ObjectGroup& object) {
        const auto own = ownMaterials.find(object.getId());
        // Objects made while in wireframe never had another material.
        object.setParameter("material", own != ownMaterials.end() ? own->second : "defaultMaterial");
    });
    ownMaterials.clear();
}
