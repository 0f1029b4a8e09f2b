#pragma once
// IUserFile: monitor files (format: monitor_file.h).
//
//   Export(path)  writes every record in store order, replacing the file whole
//                 (platform/os/file_io.h), mode 0600; the store is read in one snapshot.
//                 A symbolic link is followed and the file it names replaced in its
//                 own folder, so the link stays. A folder is refused (E_INVALIDARG), and
//                 so are the files of the store and of the registry with their SQLite
//                 journals (E_ACCESSDENIED), found by identity however the path spells
//                 them.
//   Import(path)  reads and checks the whole file before it touches the store, then
//                 applies it in one transaction: a record whose name exists (without
//                 regard to case) is replaced in place, keeping its identity, so a
//                 live IUser of it shows the new values; other records are kept.
//                 Records of a type that is not in the catalogue are skipped and
//                 counted (store::MetaTable::LastImport): Import then answers S_FALSE
//                 instead of S_OK. A file that cannot be read or fails the check
//                 changes nothing (WARDEN_E_BADFILE, or the file's error).

#include <mutex>

#include "interfaces/user_file.h"
#include "service/objects/com_object.h"

namespace ospreon::service {

class UserFile final : public ComObject<VtableDispatch<IUserFile>>
{
public:
    HRESULT Import(BSTR path) override;
    HRESULT Export(BSTR path) override;
};

} // namespace ospreon::service
