#pragma once
// A weak reference to a scene node. The node owns one shared block; when the
// node dies the block's pointer goes null and every handle on it is dead.
#include <cstddef>
#include <functional>

namespace Kiln {

class ObjectGroup;
class Object;

class ObjectHandle {
public:
    struct Block {
        ObjectGroup* node;
        std::size_t count;
    };

    ObjectHandle() = default;
    ObjectHandle(const ObjectHandle& other);
    ObjectHandle(ObjectHandle&& other) noexcept;
    ObjectHandle& operator=(ObjectHandle other) noexcept;
    ~ObjectHandle();

    /// The node, or null when the handle is empty or dead.
    ObjectGroup* get() const { return block ? block->node : nullptr; }
    /// The node as an Object, or null (dead, empty or a plain group).
    Object* getObject() const;
    bool isAlive() const { return get() != nullptr; }
    explicit operator bool() const { return isAlive(); }
    ObjectGroup* operator->() const { return get(); }

    /// Handles are equal when they share a block (the same node).
    bool operator==(const ObjectHandle& other) const { return block == other.block; }
    bool operator!=(const ObjectHandle& other) const { return block != other.block; }
    bool operator<(const ObjectHandle& other) const { return std::less<Block*>()(block, other.block); }

private:
    friend class ObjectGroup;
    explicit ObjectHandle(Block* block);
    void release();

    Block* block = nullptr;
};

} // namespace Kiln
