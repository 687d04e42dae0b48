// Windows only: which settings files an elevated run trusts: the rule on descriptors written as
// SDDL, and files under Wine, which shows the Unix mode bits as an access list (see README).
#include "TestFolder.h"
#include "engine/SettingsFile.h"
#include "engine/WindowsApi.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

struct DescriptorCase
{
    const char* name;
    const wchar_t* sddl;
    bool isFolder;
    bool onlyAdministrators;
};

void PrintTo (const DescriptorCase& c, std::ostream* out) { *out << c.name; }

class SecurityDescriptorTest : public testing::TestWithParam<DescriptorCase>
{
};

TEST_P (SecurityDescriptorTest, letsOnlyAdministratorsChangeIt)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE (ConvertStringSecurityDescriptorToSecurityDescriptorW (GetParam().sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ (onlyAdministratorsCanChange (descriptor, GetParam().isFolder ? AdministeredObject::folder : AdministeredObject::file), GetParam().onlyAdministrators);
    LocalFree (descriptor);
}

// BA Administrators, SY SYSTEM, BU Users, WD Everyone; 0x116 is what ProgramData lets users do
// in its subfolders (add files and folders, write attributes).
const DescriptorCase descriptorCases[] = {
    { "aFolderBelowProgramData", L"O:BAD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIIOID;GA;;;CO)(A;OICIID;0x1200a9;;;BU)(A;CIID;0x116;;;BU)", true, true },
    { "anAdministratorsFileBelowProgramData", L"O:BAD:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)", false, true },
    { "theFileThisProgramWrites", L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;BU)", false, true },
    { "ownedByTrustedInstaller", L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)", false, true },
    { "ownerRightsAndInheritOnlyEntries", L"O:BAD:(A;;FA;;;OW)(A;OICIIO;FA;;;BU)(A;;FA;;;CO)", true, true },
    { "usersMayAddFilesToTheFolder", L"O:BAD:(A;;FA;;;BA)(A;;0x6;;;BU)", true, true },
    { "usersMayWriteTheFile", L"O:BAD:(A;;FA;;;BA)(A;;FRFW;;;BU)", false, false },
    { "usersMayAppendToTheFile", L"O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)", false, false },
    { "everyoneMayDoAnything", L"O:BAD:(A;;GA;;;WD)", false, false },
    { "usersMayDeleteTheFile", L"O:BAD:(A;;FA;;;BA)(A;;SD;;;BU)", false, false },
    { "usersMayRePermissionTheFile", L"O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)", false, false },
    { "noAccessList", L"O:BA", false, false },
    { "ownedByUsers", L"O:BUD:(A;;FA;;;BA)", false, false },
    { "ownedByAUser", L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", false, false },
    { "usersMayDeleteEntriesOfTheFolder", L"O:BAD:(A;;FA;;;BA)(A;CI;0x40;;;BU)", true, false },
    { "usersMayDeleteTheFolder", L"O:BAD:(A;;FA;;;BA)(A;;SD;;;BU)", true, false },
    { "aFolderUsersMayWriteGenerically", L"O:BAD:(A;;FA;;;BA)(A;;GW;;;BU)", true, true },
    { "aFileUsersMayWriteGenerically", L"O:BAD:(A;;FA;;;BA)(A;;GW;;;BU)", false, false },
};

INSTANTIATE_TEST_SUITE_P (Table, SecurityDescriptorTest, testing::ValuesIn (descriptorCases),
                          [] (const testing::TestParamInfo<DescriptorCase>& param) { return std::string (param.param.name); });

//==============================================================================
namespace
{
    /** Lets everyone do anything to the file or folder; under Wine, the mode bits for others. */
    bool letEveryoneChange (const juce::File& file)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;

        if (! ConvertStringSecurityDescriptorToSecurityDescriptorW (L"D:(A;;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr))
            return false;

        const auto set = GetSecurityDescriptorDacl (descriptor, &present, &dacl, &defaulted)
                      && SetNamedSecurityInfoW (const_cast<wchar_t*> (file.getFullPathName().toWideCharPointer()), SE_FILE_OBJECT,
                                                DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
        LocalFree (descriptor);
        return set;
    }
} // namespace

class ElevatedSettingsTest : public testing::Test
{
protected:
    juce::String apply()
    {
        installFolders = defaults;
        return applySettingsFile (settingsFolder, installFolders, Settings::Trust::administratorsOnly);
    }

    TestFolder folder;
    juce::File settingsFolder = folder / "Tarnwick";
    juce::File settingsFile = settingsFolder.getChildFile (Settings::fileName);
    const std::array<juce::File, numFormats> defaults { folder / "VST3", folder / "CLAP", folder / "AAX" };
    std::array<juce::File, numFormats> installFolders;
};

TEST_F (ElevatedSettingsTest, writesItsFileUsesItAndIgnoresOneEveryoneMayWrite)
{
    ASSERT_TRUE (settingsFolder.createDirectory().wasOk());
    EXPECT_EQ (apply(), juce::String());
    EXPECT_TRUE (settingsFile.loadFileAsString().contains ("VST3_Path=\"" + defaults[0].getFullPathName() + "\""));

    const auto text = "<Plugin_Manager_Settings VST3_Path=\"" + (folder / "Mine").getFullPathName() + "\"/>";
    ASSERT_TRUE (settingsFile.deleteFile() && settingsFile.replaceWithText (text));
    EXPECT_EQ (apply(), juce::String());
    EXPECT_EQ (installFolders[0], folder / "Mine");

    ASSERT_TRUE (letEveryoneChange (settingsFile));
    EXPECT_EQ (apply(), juce::String (Settings::ignoredAsChangeableByUsers));
    EXPECT_EQ (installFolders, defaults);
    EXPECT_EQ (settingsFile.loadFileAsString(), text);
}

TEST_F (ElevatedSettingsTest, writesNothingIntoAFolderEveryoneMayChange)
{
    ASSERT_TRUE (settingsFolder.createDirectory().wasOk() && letEveryoneChange (settingsFolder));

    EXPECT_EQ (apply(), juce::String (Settings::notWrittenIntoAFolderUsersCanChange));
    EXPECT_EQ (installFolders, defaults);
    EXPECT_EQ (settingsFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 0);
}
