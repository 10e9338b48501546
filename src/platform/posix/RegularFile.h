#pragma once

#include <sys/stat.h>

// Opens path for reading when it names a regular file, and fills info from it. The open itself
// never waits: a FIFO of that name would block until a writer came, a device may never end. On
// failure -1 with errno set: EISDIR for a folder, EINVAL for anything else that is no regular
// file.
int OpenRegularFileForReading(const char *path, struct stat &info);
