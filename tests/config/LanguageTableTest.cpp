#include "config/LanguageTable.h"
#include "log/Exception.h"

#include <gtest/gtest.h>

#include <fstream>

using Kiln::LanguageTable;

namespace {
const std::string kData = MORVEL_SOURCE_DATA_DIR;
}

TEST(LanguageTable, ShippedTablesCoverTheSameIdsAndTheFirstLanguageWins) {
    LanguageTable english;
    english.load(kData + "/lang_en.xml", "DejaVuSans-7");
    LanguageTable chinese;
    chinese.load(kData + "/lang_cn.xml", "simfang");
    ASSERT_GT(english.size(), 40u);
    EXPECT_EQ(english.size(), chinese.size());
    for (std::int32_t id = 0; id < 1000; ++id)
        EXPECT_EQ(english.lookup(id).empty(), chinese.lookup(id).empty()) << "text id " << id;

    LanguageTable both;
    both.load(kData + "/lang_en.xml", "DejaVuSans-7");
    both.load(kData + "/lang_cn.xml", "simfang");
    EXPECT_EQ(both.lookup(2), english.lookup(2));
    EXPECT_EQ(both.fontFor(english.lookup(2)), "DejaVuSans-7");
    EXPECT_EQ(both.lookup(999999), "");
}

TEST(LanguageTable, BadFilesThrowAndBadEntriesAreSkipped) {
    const std::string path = testing::TempDir() + "lang_test.xml";
    std::ofstream(path) << "<ArrayOfResourceEntity>"
                           "<ResourceEntity><id>7</id><text>Seven</text></ResourceEntity>"
                           "<ResourceEntity><id>x</id><text>Bad id</text></ResourceEntity>"
                           "<ResourceEntity><id>8</id></ResourceEntity>"
                           "</ArrayOfResourceEntity>";
    LanguageTable table;
    table.load(path, "F");
    EXPECT_EQ(table.lookup(7), "Seven");
    EXPECT_EQ(table.lookup(8), "");
    EXPECT_EQ(table.size(), 2u);

    std::ofstream(path) << "<Other/>";
    EXPECT_THROW(table.load(path, "F"), Kiln::Exception);
    std::ofstream(path) << "<ArrayOfResourceEntity>";
    EXPECT_THROW(table.load(path, "F"), Kiln::Exception);
    EXPECT_THROW(table.load(path + ".missing", "F"), Kiln::Exception);
}
