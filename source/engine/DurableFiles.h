// The engine's one door to the file system: held folders, new files flushed to the disk, files
// read without waiting, the bundle lock, and the reasons people read for the system's errors.
#pragma once

#include "engine/fs/BundleLock.h"
#include "engine/fs/Folder.h"
#include "engine/fs/NewFile.h"
#include "engine/fs/ReadableFile.h"
#include "engine/fs/StepHook.h"
#include "engine/fs/SystemError.h"
