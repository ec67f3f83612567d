#include "scene/ObjectHandle.h"

#include "scene/Object.h"

#include <utility>

namespace Kiln {

ObjectHandle::ObjectHandle(Block* block_) : block(block_) {
    if (block)
        ++block->count;
}

ObjectHandle::ObjectHandle(const ObjectHandle& other) : ObjectHandle(other.block) {}

ObjectHandle::ObjectHandle(ObjectHandle&& other) noexcept : block(std::exchange(other.block, nullptr)) {}

ObjectHandle& ObjectHandle::operator=(ObjectHandle other) noexcept {
    std::swap(block, other.block);
    return *this;
}

ObjectHandle::~ObjectHandle() { release(); }

void ObjectHandle::release() {
    if (!block)
        return;
    // The node frees the block itself while it lives; the last handle frees
    // it after the node died.
    if (--block->count == 0 && block->node == nullptr)
        delete block;
    block = nullptr;
}

Object* ObjectHandle::getObject() const {
    ObjectGroup* node = get();
    return node && node->isObject() ? static_cast<Object*>(node) : nullptr;
}

} // namespace Kiln
