// The form table's own promises, which the command line, the help and the
// names of outputs rely on.
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "forms.h"
#include "help.h"

// Only the default form has no switch; every other is found by its own. A
// form writes files of an extension of its own, or one table on standard
// output under a header, never both; the help names them all.
TEST(Forms, EveryRowIsFoundByItsSwitchAndWritesFilesOfItsOwnOrOneTable)
{
    EXPECT_EQ(FORMS.first->name, nullptr);
    EXPECT_EQ(OutputForm().info, FORMS.first);
    const std::string help = help_text();
    std::set<std::string> names;
    for (const FormInfo& row : FORMS) {
        if (row.also != nullptr) {
            EXPECT_EQ(find_pair(row.name, row.also), &row) << row.name;
            EXPECT_EQ(find_pair(row.also, row.name), &row) << row.name;
        } else if (&row != FORMS.first) {
            ASSERT_NE(row.name, nullptr);
            EXPECT_EQ(find_form(row.name), &row) << row.name;
            EXPECT_NE(usage_line().find(std::string("[-") + row.name + "]"), std::string::npos) << row.name;
            EXPECT_NE(help.find(row.help[0]), std::string::npos) << row.name;
        }
        ASSERT_NE(row.extension, nullptr) << row.what;
        if (row.writes_files()) {
            EXPECT_EQ(row.extension[0], '.') << row.what;
            EXPECT_TRUE(names.insert(row.extension).second) << row.extension;
            EXPECT_NE(help.find(row.extension), std::string::npos) << row.extension;
        }
    }
    for (const char* name : {"", "cs", "csvx", "CSV", "exact", "in"})
        EXPECT_EQ(find_form(name), nullptr) << name;
    EXPECT_EQ(find_pair("csv", "fits"), nullptr);
    EXPECT_EQ(find_pair("stats", "csv"), nullptr);
    // The help's own sentences on how options are written.
    EXPECT_NE(
        help.find(
            "Switches take two dashes too (--mirror, --force, --csv, --exact, --fits,\n"
            "--stats, --period, --periodogram, --svg);\n-in, -list, -outdir, -report, -file and -fold take one.\n"),
        std::string::npos)
        << help;
}
