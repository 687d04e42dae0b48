// The file that --log appends a run's record to, opened so that nothing planted on its path can
// send the record elsewhere: a file of the engine's door that is only ever appended to.
#pragma once

#include "engine/fs/AppendFile.h"

using LogFile = DurableFiles::AppendFile;
