// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

// Gives the open file to what the file fromName in fromFolder has besides its content, so that a
// document replaced by a copy stays as private as it was: owner and group where the process may
// set them, then the mode, the access-control list and the extended attributes. fromStatus is
// the file's lstat/fstatat. A link at fromName is never followed.
// 0, or the errno of setting the mode, the one failure that matters: a file system without
// permissions (ENOSYS, EOPNOTSUPP) is none, and what the file system or the process cannot carry
// (an owner not the user's, an attribute of a namespace it may not write) is left out.
int CopyFileMetadata(int fromFolder, const char* fromName, const struct stat& fromStatus, int to);
