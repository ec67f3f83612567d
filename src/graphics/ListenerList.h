#pragma once
// A listener list that may be changed while it is being notified: changes
// made during a notification are queued and applied, in order, once the
// outermost notification ends (also when it ends by an exception). So a
// listener added during a pass is first called in the next pass, and one
// removed during a pass is still called for the rest of that pass.
#include <algorithm>
#include <utility>
#include <vector>

namespace Kiln {

template <typename Listener>
class ListenerList {
public:
    void add(Listener* listener) {
        if (nesting > 0)
            pending.emplace_back(listener, true);
        else
            listeners.push_back(listener);
    }

    /// Removes every occurrence.
    void remove(Listener* listener) {
        if (nesting > 0)
            pending.emplace_back(listener, false);
        else
            listeners.erase(std::remove(listeners.begin(), listeners.end(), listener),
                            listeners.end());
    }

    /// Calls `notify(listener)` for each listener present when the pass began.
    template <typename Notify>
    void notify(Notify&& notifyOne) {
        Pass pass(*this);
        const std::size_t count = listeners.size();
        for (std::size_t i = 0; i < count; ++i)
            notifyOne(listeners[i]);
    }

    const std::vector<Listener*>& items() const { return listeners; }
    bool empty() const { return listeners.empty(); }

private:
    class Pass {
    public:
        explicit Pass(ListenerList& list) : list(list) { ++list.nesting; }
        ~Pass() {
            if (--list.nesting == 0)
                list.applyPending();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

    private:
        ListenerList& list;
    };

    void applyPending() {
        std::vector<std::pair<Listener*, bool>> changes;
        changes.swap(pending);
        for (const auto& [listener, adding] : changes) {
            if (adding)
                add(listener);
            else
                remove(listener);
        }
    }

    int nesting = 0;
    std::vector<std::pair<Listener*, bool>> pending;
    std::vector<Listener*> listeners;
};

} // namespace Kiln
