#include "engine/Elevation.h"

#include <unistd.h>

bool isElevated()
{
    return ::geteuid() == 0;
}
