#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace
{
    struct ParseCase
    {
        const char* name;
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
                          testing::Values (ParseCase { "uninstallConfirmed", "--uninstall all --confirm", CommandLine::Action::uninstall, true, true },
                                           ParseCase { "repair", "--repair", CommandLine::Action::repair, false, true },
                                           ParseCase { "repairQuietWithLog", "--repair --quiet --log r.log", CommandLine::Action::repair, false, true },
                                           ParseCase { "confirmWithInstall", "--install all --confirm", {}, false, false },
                                           ParseCase { "confirmQuiet", "--uninstall all --confirm --quiet", {}, false, false },
                                           ParseCase { "confirmAlone", "--confirm", {}, false, false },
                                           ParseCase { "repairWithInstall", "--repair --install vst3", {}, false, false },
                                           ParseCase { "repairWithFormats", "--repair all", {}, false, false }),
                          [] (const testing::TestParamInfo<ParseCase>& param) { return std::string (param.param.name); });

TEST (CommandLineUsage, namesRepairAndConfirm)
{
    const auto usage = CommandLine::getUsage().joinIntoString ("\n");
    EXPECT_TRUE (usage.contains ("--repair"));
    EXPECT_TRUE (usage.contains ("--uninstall FORMATS --confirm"));
}
