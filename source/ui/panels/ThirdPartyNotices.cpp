#include "ui/panels/ThirdPartyNotices.h"

#include "NoticesData.h"

juce::String getThirdPartyNotices()
{
    return juce::String::fromUTF8 (NoticesData::THIRDPARTYNOTICES_txt, NoticesData::THIRDPARTYNOTICES_txtSize);
}

juce::String withThirdPartyNotices (const juce::String& licence)
{
    return licence + "\n\n\n" + getThirdPartyNotices();
}
