#pragma once
// A fixed-length array kept in pages of 2^PageBits elements that copies of
// the array share until one of them writes: a copy costs one pointer per
// page, and an edit copies only the pages it touches. Touchable shapes use
// it so that a shape refitted after a local edit shares every untouched
// part of a large mesh with the shape it replaces (which the haptic thread
// may still be reading).
//
// Threads: a page is written only by the array that made or copied it for
// itself, and never after another array has shared it (copying marks the
// pages shared on both sides), so const reads from any thread are safe as
// long as the array object itself is not being changed. The bookkeeping of
// which pages an array owns is for its writer's thread (the main thread).
#include <cstddef>
#include <memory>
#include <vector>

namespace Kiln {

template <typename T, unsigned PageBits = 10>
class PagedArray {
public:
    static constexpr std::size_t pageSize = std::size_t(1) << PageBits;

    PagedArray() = default;
    /// The elements of `flat`, in order.
    explicit PagedArray(const std::vector<T>& flat) : count(flat.size()) {
        for (std::size_t begin = 0; begin < count; begin += pageSize) {
            const std::size_t end = begin + pageSize < count ? begin + pageSize : count;
            pages.push_back(std::make_shared<std::vector<T>>(flat.begin() + begin, flat.begin() + end));
            raw.push_back(pages.back()->data());
        }
        owned.assign(pages.size(), true);
    }

    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const T& operator[](std::size_t i) const { return raw[i >> PageBits][i & (pageSize - 1)]; }

    /// Writable element i; its page is copied first when shared.
    T& edit(std::size_t i) {
        const std::size_t page = i >> PageBits;
        if (!owned[page]) {
            pages[page] = std::make_shared<std::vector<T>>(*pages[page]);
            raw[page] = pages[page]->data();
            owned[page] = true;
            ++copied;
        }
        return pages[page]->data()[i & (pageSize - 1)];
    }
    void set(std::size_t i, const T& value) { edit(i) = value; }

    std::size_t pageCount() const { return pages.size(); }
    /// Pages this array copied for writes since it was made or copied.
    std::size_t pagesCopied() const { return copied; }
    /// Whether element i lies in a page shared with `other`.
    bool sharesPageWith(const PagedArray& other, std::size_t i) const {
        return raw[i >> PageBits] == other.raw[i >> PageBits];
    }

    PagedArray(const PagedArray& other)
        : pages(other.pages), raw(other.raw), owned(other.pages.size(), false), count(other.count) {
        other.owned.assign(other.owned.size(), false);
    }
    PagedArray& operator=(const PagedArray& other) {
        if (this != &other) {
            pages = other.pages;
            raw = other.raw;
            owned.assign(pages.size(), false);
            other.owned.assign(other.owned.size(), false);
            count = other.count;
            copied = 0;
        }
        return *this;
    }
    PagedArray(PagedArray&&) noexcept = default;
    PagedArray& operator=(PagedArray&&) noexcept = default;

private:
    std::vector<std::shared_ptr<std::vector<T>>> pages;
    std::vector<T*> raw; ///< pages[k]->data(), read without touching the counts
    mutable std::vector<bool> owned; ///< page k is this array's alone
    std::size_t count = 0;
    std::size_t copied = 0;
};

} // namespace Kiln
