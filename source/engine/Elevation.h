// Whether this process runs with the administrators' (root's) rights.
#pragma once

/** Whether the process is elevated (Windows: its token says so; when it cannot be asked, the
    stricter answer, yes) or runs as root (Linux: its effective user). */
bool isElevated();
