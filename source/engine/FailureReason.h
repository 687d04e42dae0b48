// The short reasons a format can fail for, as the user reads them.
#pragma once

/** The short reasons a format can fail for, as shown to the user after "not installed: ". */
namespace FailureReason
{
    constexpr const char* diskFull = "disk full";
    constexpr const char* fileInUse = "a file is in use";
    constexpr const char* noPermission = "no permission";
    constexpr const char* readOnlyDisk = "the disk is read-only";
    constexpr const char* fileNotMoved = "a file cannot be moved";
    constexpr const char* folderNotCreated = "the folder cannot be created";
    constexpr const char* fileNotWritten = "a file cannot be written";
    constexpr const char* folderNotRead = "the folder cannot be read";
    constexpr const char* archiveDamaged = "the archive is damaged";
    constexpr const char* anotherRunning = "another installation is running";
    constexpr const char* cancelled = "cancelled";
} // namespace FailureReason
