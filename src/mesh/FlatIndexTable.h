#pragma once
// An open-addressing hash table of 32-bit entries (vertex ids, record
// indices) whose keys live in the caller's own arrays. One flat allocation
// of 8 bytes a slot instead of a node per entry, so welding millions of
// vertices or looking up pairs in a clipping loop does not allocate per item.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Kiln {

/// Finds entries by a 64-bit hash of their key and a caller's test that an
/// entry's key equals the one sought. The table keeps 32 bits of each hash
/// so that it can grow without asking for keys again. Not thread-safe.
class FlatIndexTable {
public:
    static constexpr std::uint32_t kNoEntry = 0xffffffffu;

    /// Room for `expected` entries before the first growth.
    explicit FlatIndexTable(std::size_t expected = 0) { reserve(expected); }

    void reserve(std::size_t expected) {
        std::size_t capacity = 16;
        while (capacity < 2 * expected)
            capacity *= 2;
        if (capacity > slots.size())
            rehash(capacity);
    }

    std::size_t size() const { return count; }

    /// The entry whose key `matches(entry)` accepts, or kNoEntry.
    template <typename Matches>
    std::uint32_t find(std::uint64_t hash, Matches&& matches) const {
        const std::uint32_t shortHash = fold(hash);
        for (std::size_t slot = shortHash & mask();; slot = (slot + 1) & mask()) {
            const Slot& s = slots[slot];
            if (s.entry == kNoEntry)
                return kNoEntry;
            if (s.hash == shortHash && matches(s.entry))
                return s.entry;
        }
    }

    /// The entry already stored whose key `matches` accepts; otherwise
    /// stores `entry` (never kNoEntry), whose key hashes to `hash`, and
    /// returns it.
    template <typename Matches>
    std::uint32_t findOrAdd(std::uint64_t hash, std::uint32_t entry, Matches&& matches) {
        assert(entry != kNoEntry);
        if (2 * (count + 1) > slots.size())
            rehash(2 * slots.size());
        const std::uint32_t shortHash = fold(hash);
        std::size_t slot = shortHash & mask();
        for (; slots[slot].entry != kNoEntry; slot = (slot + 1) & mask())
            if (slots[slot].hash == shortHash && matches(slots[slot].entry))
                return slots[slot].entry;
        slots[slot] = {shortHash, entry};
        ++count;
        return entry;
    }

    /// Starts loading the slot where a search for `hash` begins, for a
    /// caller that knows its next keys a few steps ahead: a table larger
    /// than the cache otherwise stalls on every search. A hint only.
    void prefetch(std::uint64_t hash) const {
        const Slot* slot = &slots[fold(hash) & mask()];
        __builtin_prefetch(slot);
        // The compiler counts a prefetch as no effect at all, so it would
        // drop calls to any function that only prefetches; this empty
        // statement counts as one.
        asm volatile("" : : "r"(slot));
    }

private:
    struct Slot {
        std::uint32_t hash;
        std::uint32_t entry;
    };

    // The high bits are mixed best by the multiplicative hashes callers use.
    static std::uint32_t fold(std::uint64_t hash) { return static_cast<std::uint32_t>(hash ^ (hash >> 32)); }
    std::size_t mask() const { return slots.size() - 1; }

    void rehash(std::size_t capacity) {
        std::vector<Slot> old(capacity, Slot{0, kNoEntry});
        old.swap(slots);
        for (const Slot& s : old)
            if (s.entry != kNoEntry) {
                std::size_t slot = s.hash & mask();
                while (slots[slot].entry != kNoEntry)
                    slot = (slot + 1) & mask();
                slots[slot] = s;
            }
    }

    std::vector<Slot> slots = std::vector<Slot>(16, Slot{0, kNoEntry});
    std::size_t count = 0;
};

/// Mixes three coordinates into a hash; -0 and +0 hash alike so that they
/// weld, matching the == the callers compare positions with.
inline std::uint64_t hashPosition(double x, double y, double z) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const double value : {x + 0.0, y + 0.0, z + 0.0}) {
        std::uint64_t bits;
        static_assert(sizeof bits == sizeof value, "64-bit doubles");
        std::memcpy(&bits, &value, sizeof bits);
        h = (h ^ bits) * 0xC2B2AE3D27D4EB4Full;
        h ^= h >> 29;
    }
    return h;
}

} // namespace Kiln
