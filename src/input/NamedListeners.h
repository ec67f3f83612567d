#pragma once
// Listeners kept by name and called in name order. A listener may remove
// itself or another listener while an event is being handed out: every walk
// in progress keeps its place in the table, so a removed listener is not
// called again and the others still are.
#include <map>
#include <string>
#include <vector>

namespace Kiln {

template <typename Listener>
class NamedListeners {
    using Table = std::map<std::string, Listener*>;

public:
    /// Adds under `name` unless the name is taken (the first one stays).
    /// Returns whether it was added.
    bool add(const std::string& name, Listener* listener) {
        if (!listener)
            return false;
        return table.emplace(name, listener).second;
    }

    void remove(const std::string& name) {
        const auto found = table.find(name);
        if (found == table.end())
            return;
        for (auto* cursor : cursors)
            if (*cursor == found)
                ++*cursor;
        table.erase(found);
    }

    bool contains(const std::string& name) const { return table.count(name) != 0; }
    std::size_t size() const { return table.size(); }

    /// Calls call(listener) for each listener in name order.
    template <typename Call>
    void forEach(Call&& call) {
        typename Table::iterator cursor = table.begin();
        cursors.push_back(&cursor);
        struct Pop {
            std::vector<typename Table::iterator*>& list;
            ~Pop() { list.pop_back(); }
        } pop{cursors};
        while (cursor != table.end()) {
            Listener* listener = cursor->second;
            ++cursor; // before the call, which may remove the entry
            call(*listener);
        }
    }

private:
    Table table;
    std::vector<typename Table::iterator*> cursors; ///< walks in progress
};

} // namespace Kiln
