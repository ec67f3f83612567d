// The dump's interface fields: written only with an interface, windows by
// name with their state, bindings in file order, the open dialog by kind.
#include "app/StateDump.h"

#include <gtest/gtest.h>

namespace {

Kiln::StateView withGui() {
    Kiln::StateView view;
    view.hasGui = true;
    view.language = "cn";
    Kiln::WindowView box;
    box.name = "Root/WireframeModeCheckbox";
    box.visible = true;
    box.enabled = false;
    box.selected = true;
    box.text = "线框";
    box.rect[0] = 10.f, box.rect[1] = 20.f, box.rect[2] = 110.f, box.rect[3] = 44.f;
    Kiln::WindowView label;
    label.name = "Root/StatusBar";
    view.windows = {box, label};
    view.bindings = {{"MoveButton", "MouseClick", "MoveObject", ""}, {"Root/Box", "Argument", "Floor", ""}};
    return view;
}

/// The dump without the blanks after ':' and ',' (none of the texts here
/// contain those pairs).
std::string compact(std::string json) {
    for (const char* gap : {": ", ", "}) {
        for (std::size_t at = json.find(gap); at != std::string::npos; at = json.find(gap, at))
            json.erase(at + 1, 1);
    }
    return json;
}

TEST(StateDumpGui, WindowsBindingsAndDialogs) {
    Kiln::StateView view = withGui();
    std::string json = compact(Kiln::buildStateDump(view));
    EXPECT_NE(json.find(R"("Root/WireframeModeCheckbox":{"visible":true,"enabled":false,"selected":true,"text":"线框","rect":[10,20,110,44]})"),
              std::string::npos)
        << json;
    // No "selected" for windows that cannot be selected.
    EXPECT_NE(json.find(R"("Root/StatusBar":{"visible":false,"enabled":false,"text":"","rect":[0,0,0,0]})"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("bindings":[{"window":"MoveButton","event":"MouseClick","function":"MoveObject","argument":""},)"),
              std::string::npos);
    EXPECT_NE(json.find(R"("dialog":null,"language":"cn")"), std::string::npos) << json;

    view.dialog = Kiln::DialogView{"message", "Wait!!!", "Save?", {"Yes", "No", "Cancel"}, "", ""};
    json = compact(Kiln::buildStateDump(view));
    EXPECT_NE(json.find(R"("dialog":{"kind":"message","title":"Wait!!!","text":"Save?","buttons":["Yes","No","Cancel"]})"),
              std::string::npos)
        << json;
    view.dialog = Kiln::DialogView{"file", "Save File", "", {}, "save", "/home/u"};
    json = compact(Kiln::buildStateDump(view));
    EXPECT_NE(json.find(R"("dialog":{"kind":"file","title":"Save File","mode":"save","folder":"/home/u"})"),
              std::string::npos)
        << json;

    view.hasGui = false;
    json = compact(Kiln::buildStateDump(view));
    EXPECT_EQ(json.find("\"windows\""), std::string::npos);
}

} // namespace
