// The grid: shown or hidden, its cell size, its plane, and the ruler that
// snapping and measuring read.
#include "config/ConfigurationFile.h"
#include "functions/FunctionBase.h"
#include "functions/FunctionRegistration.h"
#include "log/Exception.h"

#include <algorithm>

namespace {

/// The grid: its check box, its size slider, and the keys Page Up / Page
/// Down (next / previous plane) and plus / minus (move the plane). It is
/// also the ruler of snapping and measuring: one cell is one unit of the
/// unit chosen last, so the cell shrinks for millimetres and grows for
/// metres.
class SwitchGridFunction : public FunctionBase, public IGridUnit {
public:
    explicit SwitchGridFunction(FunctionContext& context)
        : FunctionBase(context, "SwitchGridFunction", FUNCTION_COMMAND | FUNCTION_UPDATE, "View",
                       FunctionText::id(360), FunctionText::id(362)) {}

    /// Told twice by the GUI settings: the check box, then the slider.
    void onArgumentSet() override {
        const std::string window = arguments.empty() ? "" : arguments.front();
        if (!context.gui || !context.gui->hasWindow(window))
            throw Kiln::Exception(3,
                                  window.find("Slider") != std::string::npos
                                      ? "Could not find the slider bar for Switch Grid function..."
                                      : "Could not find the Checkbox for Switch Grid function...",
                                  "SwitchGridFunction::onArgumentSet()");
        if (window.find("Slider") != std::string::npos) {
            slider = window;
            return;
        }
        checkbox = window;
        visible = Kiln::ConfigurationFile::getBool("View.Grid", true);
        context.gui->setSelected(checkbox, visible);
        show();
    }
    void execute() override {
        if (context.gui && !checkbox.empty())
            context.gui->setSelected(checkbox, !visible);
    }
    bool update(const Ogre::FrameEvent& event) override {
        (void)event;
        if (!context.gui)
            return true;
        if (!checkbox.empty() && context.gui->isSelected(checkbox) != visible) {
            visible = !visible;
            Kiln::ConfigurationFile::setString("View.Grid", visible ? "True" : "False");
            show();
        }
        const float value = slider.empty() ? size : context.gui->getValue(slider);
        if (value != size) {
            size = value;
            show();
            if (context.status)
                context.status->postDefault("Grid Size: " + std::to_string(cell()), 1);
        }
        return true;
    }
    void keyReleased(const OIS::KeyEvent& event) override {
        static const char* const planes[] = {"Switched to XY Plane...", "Switched to YZ Plane...",
                                             "Switched to ZX Plane..."};
        if (event.key == OIS::KC_PGUP || event.key == OIS::KC_PGDOWN) {
            plane = (plane + (event.key == OIS::KC_PGUP ? 1 : 2)) % 3;
            if (context.status)
                context.status->postDefault(planes[plane], 1);
        } else if (event.key == OIS::KC_ADD || event.key == OIS::KC_EQUALS) {
            ++offsetCells;
        } else if (event.key == OIS::KC_SUBTRACT || event.key == OIS::KC_MINUS) {
            --offsetCells;
        } else {
            return;
        }
        show();
    }

    float getGridSpacing() const override { return cell(); }
    std::string getUnitText() const override { return unit == 1 ? "mm" : unit == 3 ? "m" : "cm"; }
    void setUnit(int newUnit) override {
        unit = newUnit == 1 || newUnit == 3 ? newUnit : 2;
        show();
    }

private:
    /// The slider runs 0..1: 1 to 11 scene-root units per centimetre cell,
    /// a tenth of that per millimetre, a hundred times per metre.
    float cell() const {
        const float factor = unit == 1 ? 0.1f : unit == 3 ? 100.f : 1.f;
        return (1.f + std::clamp(size, 0.f, 1.f) * 10.f) * factor;
    }
    /// The plane moves by whole cells, so that it stays on the lattice
    /// that snapping uses, whatever the unit.
    void show() {
        if (context.view)
            context.view->setGrid(visible, plane, cell(), float(offsetCells) * cell());
    }

    std::string checkbox;
    std::string slider;
    bool visible = true;
    float size = 0.1f;
    int plane = 2;
    int offsetCells = 0;
    int unit = 2;
};

} // namespace

MORVEL_REGISTER_FUNCTION(SwitchGridFunction);
