// The plug-in's dynamic symbol table holds exactly the three factories.
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

TEST(PluginExports, OnlyTheThreeFactoriesAreExported)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {"-D", "--defined-only", PLA_PLUGIN_PATH});
    ASSERT_TRUE(nm.waitForFinished(30000) && nm.exitCode() == 0) << nm.readAllStandardError().data();
    QStringList symbols; // name:type
    for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        symbols << line.section(' ', 2) + ':' + line.section(' ', 1, 1);
    symbols.sort();
    EXPECT_EQ(symbols, QStringList({"CreateHw:T", "CreateHwVr:T", "CreateSw:T"}));
}
