#pragma once
// The HRESULTs with which IUserFile reports a monitor file that cannot be read or
// written, from the errno of platform/os's whole-file read and atomic replace.

#include "platform/base/result.h"

namespace ospreon::service {

enum class FileAccess
{
    Read,
    Write
};

// `error` (errno in its code) with its HRESULT: HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
// (reading) or HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) (writing: no such folder),
// E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_DISK_FULL), WARDEN_E_BADFILE (a file too
// large to be a monitor file), E_OUTOFMEMORY, else HRESULT_FROM_WIN32(ERROR_CANTREAD)
// or HRESULT_FROM_WIN32(ERROR_CANTWRITE). The text stays as it is.
Error MonitorFileError(const Error& error, FileAccess access);

} // namespace ospreon::service
