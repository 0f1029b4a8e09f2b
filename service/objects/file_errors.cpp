#include "service/objects/file_errors.h"

#include <cerrno>

#include "interfaces/service_errors.h"

namespace ospreon::service {

Error MonitorFileError(const Error& error, FileAccess access)
{
    const bool writing = access == FileAccess::Write;
    HRESULT hr = HRESULT_FROM_WIN32(writing ? ERROR_CANTWRITE : ERROR_CANTREAD);
    switch (error.kind == ErrorKind::Errno ? error.code : 0) {
    case ENOENT:
    case ENOTDIR:
        hr = HRESULT_FROM_WIN32(writing ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        hr = E_ACCESSDENIED;
        break;
    case ENOSPC:
    case EDQUOT:
        hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        break;
    case EFBIG:
        hr = WARDEN_E_BADFILE;
        break;
    case ENOMEM:
        hr = E_OUTOFMEMORY;
        break;
    default:
        break;
    }
    return Error::HResult(hr, error.message);
}

} // namespace ospreon::service
