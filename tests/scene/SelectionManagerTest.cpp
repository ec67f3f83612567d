#include "scene/SelectionManager.h"

#include "FakePresenter.h"
#include "log/Exception.h"
#include "scene/Object.h"
#include "scene/Scene.h"

#include <gtest/gtest.h>

using namespace Kiln;

namespace {

struct RecordingListener : SelectionListener {
    std::vector<ObjectHandle> selected;
    std::vector<ObjectHandle> deselected;
    void onSelected(ObjectHandle handle) override { selected.push_back(handle); }
    void onDeselected(ObjectHandle handle) override { deselected.push_back(handle); }
};

// root: [A (object), G (group: [X (object), H (group: [Y])]), C (object)]
struct World {
    ObjectGroup root;
    Object* a;
    ObjectGroup* g;
    Object* x;
    ObjectGroup* h;
    Object* c;
    SelectionManager selection{&root};
    RecordingListener listener;

    World() {
        a = root.adoptChild(std::make_unique<Object>());
        g = root.adoptChild(std::make_unique<ObjectGroup>());
        x = g->adoptChild(std::make_unique<Object>());
        h = g->adoptChild(std::make_unique<ObjectGroup>());
        h->adoptChild(std::make_unique<Object>());
        c = root.adoptChild(std::make_unique<Object>());
        selection.addListener(&listener);
    }
};

} // namespace

TEST(SelectionManager, SelectingAMemberSelectsItsTopLevelGroup) {
    World w;
    w.selection.addObjectToSelected(w.x->getHandle());
    EXPECT_EQ(1u, w.selection.getSelected().size());
    EXPECT_EQ(w.g->getHandle(), *w.selection.getSelected().begin());
    EXPECT_EQ(true, w.g->getParameterValue<bool>("showBoundingBox"));
    EXPECT_EQ(true, w.x->getParameterValue<bool>("showBoundingBox"));
    EXPECT_TRUE(w.selection.isSelected(w.h->getHandle()));
    ASSERT_EQ(1u, w.listener.selected.size());
    EXPECT_EQ(w.x->getHandle(), w.listener.selected[0]);  // the handle passed in

    // Only direct Object children of a selected group count.
    EXPECT_EQ((std::vector<Object*>{w.x}), w.selection.getSelectedObjects());

    w.selection.addObjectToSelected(w.g->getHandle());
    EXPECT_EQ(1u, w.selection.getSelected().size());
    EXPECT_EQ(2u, w.listener.selected.size());  // told again

    w.selection.removeObjectFromSelected(w.x->getHandle());
    EXPECT_TRUE(w.selection.getSelected().empty());
    EXPECT_EQ(false, w.x->getParameterValue<bool>("showBoundingBox"));
    EXPECT_EQ(1u, w.listener.deselected.size());
}

TEST(SelectionManager, HiddenDeadAndForeignNodes) {
    World w;
    w.c->setVisible(false);
    w.selection.addObjectToSelected(w.c->getHandle());
    EXPECT_TRUE(w.selection.getSelected().empty());
    EXPECT_TRUE(w.listener.selected.empty());

    ObjectHandle dead;
    {
        Object temporary;
        dead = temporary.getHandle();
    }
    try {
        w.selection.addObjectToSelected(dead);
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ(2, e.getCode());
        EXPECT_EQ("Cannot addObjectToSelected with the given Object ID in SelectionManager", e.getDescription());
    }
    Object stray;
    for (ObjectGroup* outsider : {static_cast<ObjectGroup*>(&w.root), static_cast<ObjectGroup*>(&stray)}) {
        try {
            w.selection.isSelected(outsider->getHandle());
            FAIL() << "expected an exception";
        } catch (const Exception& e) {
            EXPECT_EQ("Object not in scene hierarchy!", e.getDescription());
        }
    }
}

TEST(SelectionManager, ClearingIsSilentAndSurvivesDeletedItems) {
    World w;
    w.selection.setSelection({w.a->getHandle(), w.c->getHandle()});
    EXPECT_EQ(2u, w.selection.getSelected().size());
    std::unique_ptr<ObjectGroup> removed;
    w.root.removeChild(removed, w.c);
    removed.reset();  // the selected item dies
    w.selection.clearSelection();
    EXPECT_TRUE(w.selection.getSelected().empty());
    EXPECT_EQ(false, w.a->getParameterValue<bool>("showBoundingBox"));
    EXPECT_TRUE(w.listener.deselected.empty());
}

TEST(SelectionManager, CyclingWrapsAroundVisibleItems) {
    World w;
    w.selection.selectNext();  // no current: the first
    EXPECT_TRUE(w.selection.isSelected(w.a->getHandle()));
    w.selection.selectPrevious();  // from the first: the last
    EXPECT_TRUE(w.selection.isSelected(w.c->getHandle()));
    EXPECT_EQ(1u, w.selection.getSelected().size());
    w.selection.selectNext();  // from the last: the first
    EXPECT_TRUE(w.selection.isSelected(w.a->getHandle()));
    w.g->setVisible(false);
    w.selection.selectNext();  // skips the hidden group
    EXPECT_TRUE(w.selection.isSelected(w.c->getHandle()));
    EXPECT_EQ(2u, w.selection.getTopLevelObjects(true).size());
    EXPECT_EQ(3u, w.selection.getTopLevelObjects(false).size());

}

TEST(SelectionManager, ListenersUnregisterThemselves) {
    auto w = std::make_unique<World>();
    {
        RecordingListener shortLived;
        w->selection.addListener(&shortLived);
        EXPECT_EQ(&w->selection, shortLived.getSelectionManager());
    }
    w->selection.addObjectToSelected(w->a->getHandle());  // must not touch the dead listener
    RecordingListener outliving;
    w->selection.addListener(&outliving);
    w.reset();
    EXPECT_EQ(nullptr, outliving.getSelectionManager());
}

namespace {

struct RecordingScenePresenter : IScenePresenter {
    std::vector<std::string> calls;
    void objectAdded(ObjectHandle) override { calls.push_back("added"); }
    void objectRemoved(ObjectHandle) override { calls.push_back("removed"); }
    void setActiveObject(ObjectHandle) override { calls.push_back("active"); }
};

} // namespace

TEST(Scene, LatePresentersHearAboutExistingRoots) {
    const auto scene = Scene::create();
    ObjectGroup userRoot, viewRoot;
    scene->addObject(userRoot.getHandle());
    scene->addObject(viewRoot.getHandle());
    RecordingScenePresenter graphics;
    scene->addPresenter("graphics", &graphics);
    EXPECT_EQ((std::vector<std::string>{"added", "added"}), graphics.calls);
    scene->setActiveObject(viewRoot.getHandle());
    scene->removeObject(userRoot.getHandle());
    EXPECT_EQ((std::vector<std::string>{"added", "added", "active", "removed"}), graphics.calls);
    EXPECT_EQ(1u, scene->getObjects().size());
}
