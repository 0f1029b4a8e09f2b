#include "service/objects/service_control.h"

#include "service/objects/com_support.h"
#include "service/store/database.h"
#include "service/store/meta_table.h"

namespace ospreon::service {

HRESULT ServiceControl::Reload(BSTR controlPassword)
{
    return Guarded([&] {
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        if (!db)
            return Fail(db.error());
        Result<bool> reloaded = store::MetaTable(**db).Reload(com::BstrToUtf8(controlPassword));
        if (!reloaded)
            return Fail(reloaded.error());
        return *reloaded ? S_OK : Fail(E_ACCESSDENIED, "the control password is wrong");
    });
}

} // namespace ospreon::service
