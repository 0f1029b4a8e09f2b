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
            return HResultOf(db.error());
        Result<bool> reloaded = store::MetaTable(**db).Reload(com::BstrToUtf8(controlPassword));
        if (!reloaded)
            return HResultOf(reloaded.error());
        return *reloaded ? S_OK : E_ACCESSDENIED;
    });
}

} // namespace ospreon::service
