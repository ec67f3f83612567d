#include "graphics/ListenerList.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

struct Recorder;
using List = Kiln::ListenerList<Recorder>;

/// Records its calls and can change the list it is called from.
struct Recorder {
    int id;
    std::vector<int>* log;
    List* list = nullptr;
    Recorder* addOnCall = nullptr;
    bool removeSelfOnCall = false;
    bool throwOnCall = false;

    void called() {
        log->push_back(id);
        if (addOnCall) {
            list->add(addOnCall);
            addOnCall = nullptr;
        }
        if (removeSelfOnCall)
            list->remove(this);
        if (throwOnCall)
            throw std::runtime_error("listener failed");
    }
};

void notifyAll(List& list) {
    list.notify([](Recorder* r) { r->called(); });
}

} // namespace

TEST(ListenerList, ChangesDuringAPassTakeEffectAfterIt) {
    std::vector<int> log;
    List list;
    Recorder late{3, &log};
    Recorder adder{1, &log, &list, &late};
    Recorder leaver{2, &log, &list, nullptr, true};
    list.add(&adder);
    list.add(&leaver);

    notifyAll(list);  // adder adds `late`, leaver removes itself
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
    log.clear();
    notifyAll(list);
    EXPECT_EQ(log, (std::vector<int>{1, 3}));
}

TEST(ListenerList, NestedPassesAndExceptionsStillApplyQueuedChanges) {
    std::vector<int> log;
    List list;
    Recorder a{1, &log};
    Recorder b{2, &log};
    list.add(&a);
    list.notify([&](Recorder*) {
        list.notify([&](Recorder*) { list.add(&b); });
        EXPECT_EQ(list.items().size(), 1u) << "applied only when the outermost pass ends";
    });
    EXPECT_EQ(list.items().size(), 2u);

    Recorder thrower{4, &log, &list, nullptr, true, true};
    list.add(&thrower);
    EXPECT_THROW(notifyAll(list), std::runtime_error);
    EXPECT_EQ(list.items().size(), 2u) << "the removal queued before the throw is applied";

    list.add(&a);
    list.remove(&a);  // removes every occurrence
    EXPECT_EQ(list.items(), (std::vector<Recorder*>{&b}));
}
