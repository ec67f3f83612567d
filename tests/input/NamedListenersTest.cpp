#include "input/NamedListeners.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Recorder {
    std::string name;
    std::vector<std::string>* calls;
    std::function<void()> onCall;
    void hear() {
        calls->push_back(name);
        if (onCall)
            onCall();
    }
};

class NamedListenersTest : public ::testing::Test {
protected:
    Recorder& make(const std::string& name) {
        recorders.push_back(std::make_unique<Recorder>(Recorder{name, &calls, {}}));
        table.add(name, recorders.back().get());
        return *recorders.back();
    }
    void walk() {
        table.forEach([](Recorder& r) { r.hear(); });
    }

    Kiln::NamedListeners<Recorder> table;
    std::vector<std::unique_ptr<Recorder>> recorders;
    std::vector<std::string> calls;
};

TEST_F(NamedListenersTest, CallsInNameOrderAndKeepsTheFirstUnderAName) {
    make("b");
    make("a");
    Recorder other{"other", &calls, {}};
    EXPECT_FALSE(table.add("a", &other));
    walk();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b"}));
}

TEST_F(NamedListenersTest, RemovalDuringAWalkSkipsOnlyTheRemoved) {
    Recorder& a = make("a");
    make("b");
    make("c");
    // "a" removes itself and the next one; "c" must still hear the event.
    a.onCall = [&] {
        table.remove("a");
        table.remove("b");
    };
    walk();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "c"}));
    calls.clear();
    walk();
    EXPECT_EQ(calls, (std::vector<std::string>{"c"}));
}

TEST_F(NamedListenersTest, NestedWalksSurviveRemovalOfTheOuterWalksNext) {
    Recorder& a = make("a");
    make("b");
    make("c");
    bool nested = false;
    a.onCall = [&] {
        if (nested)
            return;
        nested = true;
        table.remove("b"); // the outer walk's next entry
        walk();            // a nested event sees the table as it is now
    };
    walk();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "a", "c", "c"}));
}

} // namespace
