#include "ui/main/MainHints.h"

#include "engine/OtherCopies.h"
#include "ui/main/RunTexts.h"

namespace MainHints
{
    std::optional<juce::String> getHint (const MainControl& control, const RunReport& finishedRun, bool bundlePresent,
                                         const juce::String& productVersion)
    {
        const juce::String name (control.name);

        if (control.action == ControlAction::toggleFormat)
            return bundlePresent ? "Select to update " + name + " to " + productVersion : "Select to install " + name;

        if (control.hint == nullptr)
            return std::nullopt;

        juce::StringArray notes;

        if (control.action == ControlAction::showInFolder || control.action == ControlAction::retryFormat)
            notes = RunTexts::getNotes (finishedRun, control.index);

        if (control.action == ControlAction::showOtherCopy)
            for (const auto& copy : RunTexts::getOtherCopies (finishedRun))
                notes.add (describeOtherCopy (copy));

        notes.add (control.hint);
        return notes.joinIntoString (" ");
    }
} // namespace MainHints
