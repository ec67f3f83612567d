#pragma once
// Commands of the view menu and the preference panel.
#include "functions/FunctionBase.h"

#include <map>

/// Stylus tip radius from its argument. Refuses 0, negative and
/// non-numeric radii (an "Error" box), since the proxy cannot work with them.
class TipsizeFunction : public FunctionBase {
public:
    explicit TipsizeFunction(FunctionContext& context);
    void onArgumentSet() override;
    void execute() override;
    /// The radius the text asks for, or nothing when it is not a positive number.
    static bool parseRadius(const std::string& text, float& radius);

private:
    /// Throws Kiln::Exception (code 3) for a text that is no positive number.
    void apply(const std::string& text);
    /// The edit box that holds the radius, when the argument named one.
    std::string window;
};

/// Every object's material becomes the wireframe material while the check
/// box is ticked; unticking gives each object back its own material.
class WireframeModeFunction : public FunctionBase {
public:
    explicit WireframeModeFunction(FunctionContext& context);
    bool update(const Ogre::FrameEvent& event) override;
    void setWireframe(bool on);
    bool isWireframe() const { return wireframe; }

    static constexpr const char* CHECKBOX = "Root/WireframeModeCheckbox";
    static constexpr const char* WIREFRAME_MATERIAL = "wireframeMaterial";

private:
    bool wireframe = false;
    /// Object id -> its own material while in wireframe.
    std::map<std::uint32_t, std::string> ownMaterials;
};
