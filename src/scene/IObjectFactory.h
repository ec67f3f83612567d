#pragma once
// Makes scene nodes with the presenters the caller's world needs. Readers
// and tools create every node through a factory.
#include "scene/Object.h"
#include "scene/ObjectGroup.h"

#include <memory>

namespace Kiln {

class IObjectFactory {
public:
    virtual ~IObjectFactory() = default;
    std::unique_ptr<ObjectGroup> createObjectGroup() { return makeObjectGroup(); }
    std::unique_ptr<Object> createObject() { return makeObject(); }

protected:
    virtual std::unique_ptr<ObjectGroup> makeObjectGroup() = 0;
    virtual std::unique_ptr<Object> makeObject() = 0;
};

/// Nodes without presenters: for tools without a window and for tests.
class PlainObjectFactory : public IObjectFactory {
protected:
    std::unique_ptr<ObjectGroup> makeObjectGroup() override { return std::make_unique<ObjectGroup>(); }
    std::unique_ptr<Object> makeObject() override { return std::make_unique<Object>(); }
};

} // namespace Kiln
