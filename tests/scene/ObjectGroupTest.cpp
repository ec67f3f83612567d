#include "scene/Object.h"

#include "FakePresenter.h"
#include "log/Exception.h"
#include "mesh/MeshEditor.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Kiln;

namespace {

std::vector<ObjectGroup*> childrenOf(const ObjectGroup& group) {
    std::vector<ObjectGroup*> nodes;
    for (const auto& child : group.getChildren())
        nodes.push_back(child.get());
    return nodes;
}

void expectNear(const Ogre::Vector3& expected, const Ogre::Vector3& actual) {
    EXPECT_NEAR(expected.x, actual.x, 1e-4f);
    EXPECT_NEAR(expected.y, actual.y, 1e-4f);
    EXPECT_NEAR(expected.z, actual.z, 1e-4f);
}

} // namespace

TEST(ObjectGroup, IdsAreConsecutiveAndNeverReused) {
    ObjectGroup a;
    ObjectGroup b;
    EXPECT_EQ(a.getId() + 1, b.getId());
    const auto copy = a.clone();
    EXPECT_GT(copy->getId(), b.getId());
}

TEST(ObjectHandle, GoesDeadWithItsNodeAndOutlivesIt) {
    ObjectHandle kept;
    {
        auto node = std::make_unique<ObjectGroup>();
        ObjectHandle first = node->getHandle();
        kept = node->getHandle();
        EXPECT_EQ(first, kept);
        EXPECT_EQ(node.get(), kept.get());
        EXPECT_EQ(nullptr, kept.getObject());
    }
    EXPECT_FALSE(kept.isAlive());
    ObjectHandle copy = kept;  // copying a dead handle is fine
    EXPECT_EQ(copy, kept);
    EXPECT_FALSE(ObjectHandle().isAlive());
    // A node whose handles were all released frees its block itself.
    auto object = std::make_unique<Object>();
    { ObjectHandle temporary = object->getHandle(); EXPECT_EQ(object.get(), temporary.getObject()); }
    object.reset();
}

TEST(ObjectGroup, RemovingAChildSwapsInTheLastOne) {
    ObjectGroup parent;
    ObjectGroup* a = parent.adoptChild(std::make_unique<ObjectGroup>());
    ObjectGroup* b = parent.adoptChild(std::make_unique<ObjectGroup>());
    ObjectGroup* c = parent.adoptChild(std::make_unique<ObjectGroup>());
    std::unique_ptr<ObjectGroup> out;
    parent.removeChild(out, a);
    EXPECT_EQ(a, out.get());
    EXPECT_FALSE(out->hasParent());
    EXPECT_EQ((std::vector<ObjectGroup*>{c, b}), childrenOf(parent));

    parent.removeChild(out, b->getHandle());
    EXPECT_EQ(b, out.get());
    try {
        parent.removeChild(out, out.get());
        FAIL() << "expected an exception";
    } catch (const Exception& e) {
        EXPECT_EQ(0, e.getCode());
        EXPECT_EQ("Trying to remove child from wrong parent!", e.getDescription());
    }
    EXPECT_THROW(parent.removeChild(out, ObjectHandle()), Exception);
    EXPECT_THROW(out->getParent(), Exception);
}

TEST(ObjectGroup, AddChildMovesBetweenParentsAndKeepsLocalTransform) {
    PresenterLog log;
    ObjectGroup first;
    ObjectGroup second;
    second.setPosition(Ogre::Vector3(10, 0, 0));
    auto node = std::make_unique<ObjectGroup>();
    node->setPresenter("graphics", std::make_unique<FakePresenter>(log));
    node->setPosition(Ogre::Vector3(1, 2, 3));
    ObjectGroup* raw = first.adoptChild(std::move(node));
    log.calls.clear();

    std::unique_ptr<ObjectGroup> empty;
    second.addChild(empty);  // ignored
    second.takeChild(raw);
    second.takeChild(raw);  // already ours: nothing happens
    std::unique_ptr<ObjectGroup> alias(raw);  // a second name for a node `second` owns
    second.addChild(alias);
    EXPECT_EQ(nullptr, alias);
    EXPECT_EQ(1u, second.getChildren().size());
    EXPECT_TRUE(first.getChildren().empty());
    EXPECT_EQ(&second, raw->getParent());
    EXPECT_EQ(2, log.count("parent"));
    EXPECT_EQ(Ogre::Vector3(1, 2, 3), raw->getPosition());
    expectNear(Ogre::Vector3(11, 2, 3), raw->getWorldMatrix().getTrans());
    expectNear(Ogre::Vector3(11, 2, 3), raw->getWorldTransform().position);
    expectNear(Ogre::Vector3(-11, -2, -3), raw->getInverseWorldMatrix().getTrans());
}

TEST(ObjectGroup, ParametersReachDescendantsAndWaitForTheirBinder) {
    PresenterLog log;  // outlives the nodes that write to it
    ObjectGroup group;
    auto* a = group.adoptChild(std::make_unique<Object>());
    auto* b = group.adoptChild(std::make_unique<Object>());
    a->setPresenter("graphics", std::make_unique<FakePresenter>(log));

    EXPECT_EQ(nullptr, group.getParameter("stiffness"));
    group.setParameter("showBoundingBox", true);
    EXPECT_EQ(true, group.getParameterValue<bool>("showBoundingBox"));
    EXPECT_TRUE(static_cast<FakePresenter*>(a->getPresenter("graphics"))->flag);
    EXPECT_EQ(true, b->getParameterValue<bool>("showBoundingBox"));
    EXPECT_FALSE(b->getParameterValue<float>("showBoundingBox").has_value());  // wrong type

    // A stored value goes to the binder's setter when it binds, then is gone.
    b->setParameter("showBoundingBox", false);
    b->setParameter("showBoundingBox", true);
    b->setPresenter("graphics", std::make_unique<FakePresenter>(log));
    auto* bPresenter = static_cast<FakePresenter*>(b->getPresenter("graphics"));
    EXPECT_TRUE(bPresenter->flag);
    bPresenter->flag = false;
    EXPECT_EQ(false, b->getParameterValue<bool>("showBoundingBox"));

    b->unbindParameter("showBoundingBox");
    EXPECT_EQ(nullptr, b->getParameter("showBoundingBox"));
    // Strings do not decay to bool.
    a->setParameter("material", "defaultMaterial");
    EXPECT_EQ(std::string("defaultMaterial"), a->getParameterValue<std::string>("material"));
}

TEST(ObjectGroup, CloneCopiesTreeValuesAndPresentersButNotState) {
    PresenterLog log;
    ObjectGroup root;
    auto group = std::make_unique<ObjectGroup>();
    group->setPosition(Ogre::Vector3(1, 0, 0));
    auto object = std::make_unique<Object>();
    object->setMesh(MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::Red));
    object->setPresenter("graphics", std::make_unique<FakePresenter>(log));
    object->setParameter("showBoundingBox", true);
    object->setParameter("stiffness", 0.5f);
    object->setVisible(false);
    Object* original = group->adoptChild(std::move(object));
    root.adoptChild(std::move(group));

    const auto copy = root.getChildren()[0]->clone();
    ASSERT_EQ(1u, copy->getChildren().size());
    auto* copiedObject = static_cast<Object*>(copy->getChildren()[0].get());
    EXPECT_TRUE(copiedObject->isObject());
    EXPECT_TRUE(copiedObject->isVisible());
    EXPECT_FALSE(copy->hasParent());
    EXPECT_EQ(Ogre::Vector3(1, 0, 0), copy->getPosition());
    ASSERT_NE(nullptr, copiedObject->getMesh());
    EXPECT_NE(original->getMesh(), copiedObject->getMesh());
    EXPECT_EQ(original->getMesh()->getFaces(), copiedObject->getMesh()->getFaces());
    EXPECT_EQ(0.5f, copiedObject->getParameterValue<float>("stiffness"));
    auto* presenter = static_cast<FakePresenter*>(copiedObject->getPresenter("graphics"));
    ASSERT_NE(nullptr, presenter);
    EXPECT_EQ(copiedObject, presenter->node);
    EXPECT_TRUE(presenter->flag);  // bound value handed over on attach

    const auto bare = original->cloneWithoutPresenters();
    EXPECT_EQ(nullptr, bare->getPresenter("graphics"));
    EXPECT_EQ(true, bare->getParameterValue<bool>("showBoundingBox"));
}

TEST(ObjectGroup, DestructionDetachesPresenters) {
    PresenterLog log;
    {
        Object object;
        object.setMesh(MeshEditor::createNewDynamicMesh(0, Ogre::ColourValue::White));
        object.setPresenter("haptics", std::make_unique<FakePresenter>(log, "stiffness"));
        EXPECT_EQ((std::vector<std::string>{"attach", "parent", "transform", "mesh"}), log.calls);
        object.setMesh(MeshEditor::createNewDynamicMesh(1, Ogre::ColourValue::White));
        EXPECT_EQ(2, log.count("mesh"));
        // The same mesh again is not a change.
        std::unique_ptr<DynamicMesh> same(object.getMesh());
        object.setMesh(std::move(same));
        EXPECT_EQ(2, log.count("mesh"));
    }
    EXPECT_EQ("detach", log.calls.back());
}

TEST(ObjectGroup, LookAtTurnsZAwayFromTarget) {
    ObjectGroup node;
    const Ogre::Quaternion before = node.getOrientation();
    node.lookAt(Ogre::Vector3::ZERO);
    node.lookAt(Ogre::Vector3(std::numeric_limits<float>::quiet_NaN(), 0, 0));
    EXPECT_EQ(before, node.getOrientation());

    node.lookAt(Ogre::Vector3(0, 0, 5));  // straight ahead: half turn about Y
    expectNear(Ogre::Vector3(0, 0, -1), node.getOrientation().zAxis());
    expectNear(Ogre::Vector3(0, 1, 0), node.getOrientation().yAxis());

    node.lookAt(Ogre::Vector3(-3, 0, 0));
    expectNear(Ogre::Vector3(1, 0, 0), node.getOrientation().zAxis());
}

TEST(ObjectGroup, CentrePivotKeepsWorldPositions) {
    Object object;
    std::vector<Vertex> vertices(3);
    for (Vertex& v : vertices)
        v.position = Ogre::Vector3(2, 0, 0);
    object.setMesh(std::make_unique<DynamicMesh>(vertices, std::vector<Face>{Face{0, 1, 2}}));
    object.setScale(Ogre::Vector3(2, 2, 2));
    object.centrePivot();
    EXPECT_EQ(Ogre::Vector3::ZERO, object.getMesh()->getVertex(0).position);
    EXPECT_EQ(Ogre::Vector3(4, 0, 0), object.getPosition());

    ObjectGroup group;
    group.centrePivot();  // no children: untouched
    EXPECT_EQ(Ogre::Vector3::ZERO, group.getPosition());
    group.setOrientation(Ogre::Quaternion(Ogre::Degree(90), Ogre::Vector3::UNIT_Z));
    group.adoptChild(std::make_unique<ObjectGroup>())->setPosition(Ogre::Vector3(2, 0, 0));
    group.adoptChild(std::make_unique<ObjectGroup>())->setPosition(Ogre::Vector3(4, 0, 0));
    const Ogre::Vector3 worldBefore = group.getChildren()[1]->getWorldMatrix().getTrans();
    group.centrePivot();
    EXPECT_EQ(Ogre::Vector3(1, 0, 0), group.getChildren()[1]->getPosition());
    expectNear(worldBefore, group.getChildren()[1]->getWorldMatrix().getTrans());
    expectNear(Ogre::Vector3(0, 3, 0), group.getPosition());
}
