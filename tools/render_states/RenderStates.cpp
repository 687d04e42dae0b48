// Renders the main view in each of its states to PNG files, for looking at them.
//
//     tw_render_states OUT_FOLDER [OUTDATED_MODULE] [SIZE]
//
// OUTDATED_MODULE is a plug-in module with an older file version (for the "one outdated" picture);
// without it that picture is skipped. SIZE is the view's width and height (600 when left out). The
// installer's folders point into a temporary folder that is removed at the end.
#include "ui/main/MainComponent.h"
#include "engine/BundleInstaller.h"
#include "engine/DurableFiles.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <tuple>

namespace
{
    SystemLocations makeLocations (const juce::File& root)
    {
        SystemLocations locations;
        locations.defaultInstallFolders = { root.getChildFile ("Common Files/VST3"),
                                            root.getChildFile ("Common Files/CLAP"),
                                            root.getChildFile ("Common Files/Avid/Audio/Plug-Ins") };
        locations.commonApplicationData = root.getChildFile ("ProgramData");
        locations.temporaryFolder = root.getChildFile ("Temp");
        return locations;
    }

    bool writePng (MainComponent& component, const juce::File& file)
    {
        const auto image = component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat png;

        if (! out.openedOk() || ! png.writeImageToStream (image, out))
        {
            std::cerr << "cannot write " << file.getFullPathName() << std::endl;
            return false;
        }

        std::cout << file.getFullPathName() << std::endl;
        return true;
    }

    /** Renders a run held at its first file writes, with its progress set to show each phase,
        then cancels it. */
    void renderProgress (const SystemLocations& locations, int size, const juce::File& file, bool& ok)
    {
        std::mutex mutex;
        std::condition_variable changed;
        auto held = 0;
        auto released = false;

        DurableFiles::setStepHook ([&] (const char* step, const juce::File&)
                                   {
                                       if (juce::String (step) != "write file")
                                           return;

                                       std::unique_lock<std::mutex> lock (mutex);
                                       ++held;
                                       changed.notify_all();
                                       changed.wait (lock, [&] { return released; });
                                   });

        {
            MainComponent component (locations);
            component.setSize (size, size);
            component.setSelection ({ true, true, true });
            component.installSelectedFormats();

            {
                std::unique_lock<std::mutex> lock (mutex);
                // Every worker there is held before its first file, so that none sets its own figures.
                const auto workers = juce::jmin (numFormats, juce::jmax (1, juce::SystemStats::getNumCpus()));
                changed.wait (lock, [&] { return held >= workers; });
            }

            // The workers wait; the picture shows three formats at three points of their work.
            const std::tuple<RunPhase, double> shown[] = { { RunPhase::writing, 1.0 }, { RunPhase::unpacking, 0.62 }, { RunPhase::unpacking, 0.18 } };

            for (size_t i = 0; i < (size_t) numFormats; ++i)
            {
                auto& progress = component.getSession().getProgress()->formats[i];
                const auto total = (juce::int64) 18'600'000;
                progress.totalBytes = total;
                progress.phase = std::get<0> (shown[i]);
                progress.bytesWritten = (juce::int64) ((double) total * std::get<1> (shown[i]));
            }

            ok = writePng (component, file) && ok;
            component.cancelRun();

            {
                const std::lock_guard<std::mutex> lock (mutex);
                released = true;
            }

            changed.notify_all();
            component.waitForRun();
        }

        DurableFiles::setStepHook ({});
    }

    int renderStates (const juce::File& outFolder, const juce::File& outdatedModule, int size)
    {
        if (! outFolder.createDirectory())
        {
            std::cerr << "cannot create " << outFolder.getFullPathName() << std::endl;
            return 1;
        }

        const auto root = juce::File::getSpecialLocation (juce::File::tempDirectory)
                              .getNonexistentChildFile ("tw_render_states", "");
        const auto locations = makeLocations (root);
        auto ok = true;

        const auto render = [&] (const juce::String& name, const std::function<void (MainComponent&)>& prepare)
        {
            MainComponent component (locations);
            component.setSize (size, size);
            prepare (component);
            ok = writePng (component, outFolder.getChildFile (name + ".png")) && ok;
        };

        root.createDirectory();

        render ("fresh", [] (MainComponent&) {});
        render ("all_selected", [] (MainComponent& c) { c.setSelection ({ true, true, true }); });
        render ("shift_held", [] (MainComponent& c) { c.setUninstallMode (true); });
        render ("success", [] (MainComponent& c) { c.finishRun ({}); });

        const auto bundleAt = [&locations] (int i) { return getBundlePath (locations.defaultInstallFolders[(size_t) i], "Morvane4", i); };

        RunReport failed;
        failed.outcomes.add ({ 0, false, "disk full", bundleAt (0), false });
        failed.outcomes.add ({ 1, true, {}, bundleAt (1), false });
        failed.outcomes.add ({ 2, false, "access denied", bundleAt (2), false });
        render ("failure", [&failed] (MainComponent& c) { c.finishRun (failed); });

        RunReport failedThree;
        failedThree.outcomes.add ({ 0, false, "the folder C:/Program Files/Common Files/VST3 could not be created", bundleAt (0), false });
        failedThree.outcomes.add ({ 1, false, "disk full", bundleAt (1), false });
        failedThree.outcomes.add ({ 2, false, "access denied", bundleAt (2), false });
        render ("failure_three", [&failedThree] (MainComponent& c) { c.finishRun (failedThree); });

        // Three formats, one of them held by a program, with other copies a host may load first:
        // a fourth line, below the band, for the copies.
        RunReport withCopies;
        withCopies.outcomes.add ({ 0, true, {}, bundleAt (0), true });
        withCopies.outcomes.add ({ 1, false, "Morvane4.clap is in use by fakehost (process 4242)", bundleAt (1), true });
        withCopies.outcomes.add ({ 2, true, {}, bundleAt (2), false });
        withCopies.outcomes.getReference (0).otherCopies.add ({ 0, root.getChildFile ("Users/ana/AppData/Local/Programs/Common/VST3/Morvane4.vst3"), "4.0.1.0" });
        withCopies.outcomes.getReference (0).otherCopies.add ({ 0, root.getChildFile ("Common Files (x86)/VST3/Morvane4.vst3"), {} });
        render ("other_copies", [&withCopies] (MainComponent& c) { c.finishRun (withCopies); });

        // A real install of the three formats, in the result view.
        render ("installed", [] (MainComponent& c)
                {
                    c.setSelection ({ true, true, true });
                    c.installSelectedFormats();
                    c.waitForRun();
                });
        root.getChildFile ("Common Files").deleteRecursively();

        // A run held at its first file writes, shown part-way: the progress view.
        renderProgress (locations, size, outFolder.getChildFile ("progress.png"), ok);
        root.getChildFile ("Common Files").deleteRecursively();

        // The carried CLAP: installed.
        const auto archives = getCarriedArchives();
        root.getChildFile ("Common Files/CLAP").createDirectory();
        ok = installBundle (root.getChildFile ("Common Files/CLAP"), getBundleName (Product::name, 1), archives[1].data, archives[1].size).wasOk() && ok;
        render ("one_installed", [] (MainComponent&) {});
        root.getChildFile ("Common Files/CLAP/Morvane4.clap").deleteFile();

        if (outdatedModule.existsAsFile())
        {
            const auto module = root.getChildFile ("Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3");
            module.getParentDirectory().createDirectory();
            outdatedModule.copyFileTo (module);
            render ("one_outdated", [] (MainComponent&) {});
        }

        root.deleteRecursively();
        return ok ? 0 : 1;
    }
} // namespace

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::cerr << "usage: tw_render_states OUT_FOLDER [OUTDATED_MODULE] [SIZE]" << std::endl;
        return 2;
    }

    const juce::ScopedJuceInitialiser_GUI juceGui;
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const auto outFolder = cwd.getChildFile (argv[1]);
    const auto outdatedModule = argc > 2 ? cwd.getChildFile (argv[2]) : juce::File();
    const auto size = argc > 3 ? juce::jlimit (128, 4000, juce::String (argv[3]).getIntValue()) : 600;

    return renderStates (outFolder, outdatedModule, size);
}
