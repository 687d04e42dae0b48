// The system's error codes, and the failure reasons people read for them.
#pragma once

#include <juce_core/juce_core.h>

/** The system's error code of the last failed call on this thread. */
int getLastSystemError();

/** Whether a system error code says only that nothing is at the name. */
bool isMissingError (int systemError);

/** The FailureReason text for a system error code, or `otherwise` for one without a reason of its
    own. Only a sharing or lock error (Linux: EBUSY, ETXTBSY) is "a file is in use". */
const char* reasonForSystemError (int systemError, const char* otherwise);

/** As reasonForSystemError, for a failed rename or removal of `path`. Windows answers "access
    denied" both for a missing permission and for a folder that holds an open file: the files
    below `path` are tried to tell the two apart. */
const char* reasonForFailureOn (const juce::File& path, int systemError, const char* otherwise);

/** The system's code for "access denied" (EACCES, ERROR_ACCESS_DENIED). */
int accessDeniedError();
