#include "platform/ProcessCommandRunner.h"

#include <gtest/gtest.h>

using lumora::platform::CommandResult;
using lumora::platform::ProcessCommandRunner;

TEST(ProcessCommandRunner, ReportsOutputsAndExitCode)
{
    ProcessCommandRunner runner;
    const CommandResult r =
        runner.run(QStringLiteral("sh"),
                   {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")});
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.output, QStringLiteral("out\n"));
    EXPECT_EQ(r.errorOutput, QStringLiteral("err\n"));
    EXPECT_TRUE(
        runner.run(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 0")}).ok());
}

TEST(ProcessCommandRunner, MissingOrHangingProgramsFail)
{
    ProcessCommandRunner runner(1500);
    const CommandResult missing =
        runner.run(QStringLiteral("/nonexistent/lumora-no-such-tool"), {});
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.ok());
    const CommandResult hanging = runner.run(QStringLiteral("sleep"), {QStringLiteral("30")});
    EXPECT_FALSE(hanging.ok());
}
