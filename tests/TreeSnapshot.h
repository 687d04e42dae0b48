// Whole folder trees as path -> bytes maps, to compare a folder before and after an operation.
#pragma once

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

/** Every file and folder below `root` (hidden ones too), with each file's bytes. */
using Tree = std::map<std::string, std::string>;

inline Tree snapshot (const juce::File& root)
{
    Tree tree;

    for (const auto& entry : juce::RangedDirectoryIterator (root, true, "*", juce::File::findFilesAndDirectories,
                                                            juce::File::FollowSymlinks::no))
    {
        const auto file = entry.getFile();
        const auto path = file.getRelativePathFrom (root).replaceCharacter ('\\', '/').toStdString();

        if (entry.isDirectory())
        {
            tree[path + "/"] = "";
        }
        else
        {
            juce::MemoryBlock bytes;
            file.loadFileAsData (bytes);
            tree[path] = bytes.isEmpty() ? std::string() : std::string (static_cast<const char*> (bytes.getData()), bytes.getSize());
        }
    }

    return tree;
}

/** Compares two trees and names only the paths that differ. */
inline testing::AssertionResult sameTree (const Tree& actual, const Tree& expected)
{
    std::string differences;

    for (const auto& [path, bytes] : expected)
    {
        const auto found = actual.find (path);

        if (found == actual.end())
            differences += "\n  missing: " + path;
        else if (found->second != bytes)
            differences += "\n  different bytes: " + path;
    }

    for (const auto& [path, bytes] : actual)
        if (expected.count (path) == 0)
            differences += "\n  not expected: " + path;

    if (differences.empty())
        return testing::AssertionSuccess();

    return testing::AssertionFailure() << "the trees differ:" << differences;
}
