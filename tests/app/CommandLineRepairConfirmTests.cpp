#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace
{
    struct ParseCase
    {
        const char* arguments;
        CommandLine::Action action;
        bool confirm;
        bool accepted;
    };

    class RepairAndConfirmOptions : public testing::TestWithParam<ParseCase>
    {
    };
} // namespace

TEST_P (RepairAndConfirmOptions, areTakenApartOrRefused)
{
    const auto& c = GetParam();
    const auto options = CommandLine::parse (juce::StringArray::fromTokens (c.arguments, " ", ""));

    EXPECT_EQ (options.error.isEmpty(), c.accepted) << options.error;

    if (c.accepted)
    {
        EXPECT_EQ (options.action, c.action);
        EXPECT_EQ (options.confirm, c.confirm);
    }
}

INSTANTIATE_TEST_SUITE_P (CommandLine, RepairAndConfirmOptions,
                          testing::Values (ParseCase { "--uninstall all --confirm", CommandLine::Action::uninstall, true, true },
                                           ParseCase { "--repair", CommandLine::Action::repair, false, true },
                                           ParseCase { "--repair --quiet --log r.log", CommandLine::Action::repair, false, true },
                                           ParseCase { "--install all --confirm", {}, false, false },
                                           ParseCase { "--uninstall all --confirm --quiet", {}, false, false },
                                           ParseCase { "--confirm", {}, false, false },
                                           ParseCase { "--repair --install vst3", {}, false, false },
                                           ParseCase { "--repair all", {}, false, false }));

TEST (CommandLineUsage, namesRepairAndConfirm)
{
    const auto usage = CommandLine::getUsage().joinIntoString ("\n");
    EXPECT_TRUE (usage.contains ("--repair"));
    EXPECT_TRUE (usage.contains ("--uninstall FORMATS --confirm"));
}
