// The plug-in's dynamic symbol table holds exactly the three factories.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

TEST(PluginExports, OnlyTheThreeFactoriesAreExported)
{
    const std::string command = std::string("nm -D --defined-only '") + PLA_PLUGIN_PATH + "'";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[4096];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (!name.empty())
            symbols.insert(name + ":" + type);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(symbols, (std::set<std::string>{"CreateHw:T", "CreateHwVr:T", "CreateSw:T"}));
}
