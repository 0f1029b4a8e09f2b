#pragma once
// IConfigStore: the configuration section "Wardenhost" ("LogFile", "BackupFile",
// "ControlPass"...), names without regard to letter case, every value text.
//
//   OpenSection  only "Wardenhost" (any letter case; another name: E_INVALIDARG);
//                opens the store (WARDEN_E_STORE when it cannot be used)
//   Value get    the value put in this object and not yet saved, else the stored
//                one; DISP_E_UNKNOWNNAME with VT_EMPTY for a name never set
//   Value put    kept in this object until Save; a non-string VARIANT is kept as
//                its text
//   Save         commits every kept value in one transaction
// Releasing the object without Save discards what it kept. Value and Save before
// OpenSection: E_UNEXPECTED.

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/config_store.h"
#include "service/objects/com_object.h"
#include "service/store/database.h"

namespace ospreon::service {

class ConfigStore final : public ComObject<VtableDispatch<IConfigStore>>
{
public:
    HRESULT OpenSection(BSTR section) override;
    HRESULT Save() override;
    HRESULT get_Value(BSTR name, VARIANT* value) override;
    HRESULT put_Value(BSTR name, VARIANT value) override;

private:
    std::mutex m_mutex;
    std::shared_ptr<store::Database> m_db; // set by OpenSection
    std::vector<std::pair<std::string, std::string>> m_pending;
};

} // namespace ospreon::service
