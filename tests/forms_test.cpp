// The form table's own promises, which the command line, the help and the
// names of outputs rely on.
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "forms.h"
#include "help.h"
#include "lcdump.h"

TEST(Forms, EveryRowIsFoundByItsSwitchAndOnlyTheDefaultHasNone)
{
    EXPECT_EQ(FORMS.first->name, nullptr);
    EXPECT_EQ(OutputForm().info, FORMS.first);
    std::set<std::string> switches;
    for (const FormInfo& row : FORMS) {
        if (&row == FORMS.first)
            continue;
        ASSERT_NE(row.name, nullptr);
        EXPECT_EQ(find_form(row.name), &row) << row.name;
        EXPECT_TRUE(switches.insert(row.name).second) << row.name;
        EXPECT_NE(usage_line().find(std::string("[-") + row.name + "]"), std::string::npos) << row.name;
        EXPECT_NE(help_text().find(row.help[0]), std::string::npos) << row.name;
    }
    for (const char* name : {"", "cs", "csvx", "CSV", "exact", "in"})
        EXPECT_EQ(find_form(name), nullptr) << name;
}

// A form writes files of an extension of its own, or one table on standard
// output under a header; never both, never neither.
TEST(Forms, EachFormWritesFilesOfItsOwnExtensionOrOneTable)
{
    std::set<std::string> extensions;
    for (const FormInfo& row : FORMS) {
        EXPECT_NE(row.extension == nullptr, row.table_header == nullptr) << row.what;
        EXPECT_EQ(row.writes_files(), row.extension != nullptr) << row.what;
        if (row.extension == nullptr) {
            EXPECT_EQ(row.table_header[std::strlen(row.table_header) - 1], '\n') << row.what;
            continue;
        }
        EXPECT_EQ(row.extension[0], '.') << row.what;
        EXPECT_TRUE(extensions.insert(row.extension).second) << row.extension;
        EXPECT_EQ(output_for("night 1/star.lc", nullptr, OutputForm(&row)),
                  std::string("night 1/star") + row.extension);
        EXPECT_NE(help_text().find(row.extension), std::string::npos) << row.extension;
    }
}

// The help's own sentences on how options are written, made from the tables.
TEST(Help, SaysWhichSwitchesTakeTwoDashesAndWhichOptionsTakeAValue)
{
    EXPECT_NE(help_text().find("Switches take two dashes too (--mirror, --force, --csv, --exact, --fits, --stats);\n"
                               "-in, -list, -outdir and -file take one.\n"),
              std::string::npos)
        << help_text();
}
