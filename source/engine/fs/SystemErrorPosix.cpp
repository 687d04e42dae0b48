#include "engine/fs/SystemError.h"

#include "engine/FailureReason.h"

#include <cerrno>

int getLastSystemError()
{
    return errno;
}

bool isMissingError (int systemError)
{
    return systemError == ENOENT;
}

int accessDeniedError()
{
    return EACCES;
}

const char* reasonForSystemError (int systemError, const char* otherwise)
{
    switch (systemError)
    {
        case EBUSY:
        case ETXTBSY:
            return FailureReason::fileInUse;
        case EACCES:
        case EPERM:
            return FailureReason::noPermission;
        case EROFS:
            return FailureReason::readOnlyDisk;
        case ENOSPC:
        case EDQUOT:
            return FailureReason::diskFull;
        default:
            return otherwise;
    }
}

const char* reasonForFailureOn (const juce::File&, int systemError, const char* otherwise)
{
    // An open file never stops a rename or removal here: the error says it all.
    return reasonForSystemError (systemError, otherwise);
}
