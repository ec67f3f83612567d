#include "log/Exception.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Exception, WhatTextWithoutAndWithLine) {
    const Kiln::Exception plain(7, "Failed to load settings file Config/x.xml",
                                "SimpleXMLKeyValueStore::SettingsFile");
    EXPECT_STREQ(plain.what(),
                 "KILN EXCEPTION(7:): Failed to load settings file Config/x.xml in "
                 "SimpleXMLKeyValueStore::SettingsFile");

    const Kiln::Exception located(3, "bad", "A::b()", "a.cpp", 42);
    EXPECT_STREQ(located.what(), "KILN EXCEPTION(3:): bad in A::b() at a.cpp (line 42)");

    const Kiln::Exception zeroLine(3, "bad", "A::b()", "a.cpp", 0);
    EXPECT_STREQ(zeroLine.what(), "KILN EXCEPTION(3:): bad in A::b()");
}

TEST(Exception, WhatIsBuiltOnceAndCopiesKeepEveryField) {
    const Kiln::Exception original(4, "broken", "Serializer::read()", "s.cpp", 9);
    const char* first = original.what();
    EXPECT_EQ(first, original.what()) << "what() must not rebuild its text";

    const Kiln::Exception copy(original);
    EXPECT_STREQ(copy.what(), first);
    EXPECT_EQ(copy.getCode(), 4);
    EXPECT_EQ(copy.getLine(), 9);
    EXPECT_EQ(copy.getFile(), "s.cpp");
    EXPECT_EQ(copy.getSource(), "Serializer::read()");

    try {
        throw Kiln::Exception(2, "x", "y");
    } catch (const std::exception& e) {
        EXPECT_NE(std::strstr(e.what(), "KILN EXCEPTION(2:)"), nullptr);
    }
}
