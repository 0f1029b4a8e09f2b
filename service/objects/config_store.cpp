#include "service/objects/config_store.h"

#include "platform/base/ascii.h"
#include "service/objects/com_support.h"
#include "service/store/config_table.h"

namespace ospreon::service {

using store::kServiceSection;

HRESULT ConfigStore::OpenSection(BSTR section)
{
    return Guarded([&] {
        const std::string name = com::BstrToUtf8(section);
        if (!EqualsNoCase(name, kServiceSection))
            return Fail(E_INVALIDARG,
                        "no configuration section " + name + " (only " + kServiceSection + ")");
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        if (!db)
            return Fail(db.error());
        std::lock_guard lock(m_mutex);
        m_db = std::move(*db);
        m_pending.clear();
        return S_OK;
    });
}

HRESULT ConfigStore::Save()
{
    return Guarded([&] {
        std::lock_guard lock(m_mutex);
        if (!m_db)
            return Fail(E_UNEXPECTED, "no configuration section is open");
        if (m_pending.empty())
            return S_OK;
        Result<void> saved = store::ConfigTable(*m_db).PutAll(kServiceSection, m_pending);
        if (!saved)
            return Fail(saved.error());
        m_pending.clear();
        return S_OK;
    });
}

HRESULT ConfigStore::get_Value(BSTR name, VARIANT* value)
{
    return Guarded([&] {
        if (!value)
            return E_POINTER;
        VariantInit(value);
        const std::string key = com::BstrToUtf8(name);
        std::lock_guard lock(m_mutex);
        if (!m_db)
            return Fail(E_UNEXPECTED, "no configuration section is open");
        for (const auto& [pendingName, pendingValue] : m_pending) {
            if (EqualsNoCase(pendingName, key))
                return CopyOut(pendingValue, value);
        }
        Result<std::optional<std::string>> stored =
            store::ConfigTable(*m_db).Get(kServiceSection, key);
        if (!stored)
            return Fail(stored.error());
        if (!*stored)
            return Fail(DISP_E_UNKNOWNNAME, "the configuration has no value " + key);
        return CopyOut(**stored, value);
    });
}

HRESULT ConfigStore::put_Value(BSTR name, VARIANT value)
{
    return Guarded([&] {
        std::string text;
        if (HRESULT hr = com::VariantToString(value, text); FAILED(hr))
            return hr;
        std::string key = com::BstrToUtf8(name);
        std::lock_guard lock(m_mutex);
        if (!m_db)
            return Fail(E_UNEXPECTED, "no configuration section is open");
        for (auto& [pendingName, pendingValue] : m_pending) {
            if (EqualsNoCase(pendingName, key)) {
                pendingValue = std::move(text);
                return S_OK;
            }
        }
        m_pending.emplace_back(std::move(key), std::move(text));
        return S_OK;
    });
}

} // namespace ospreon::service
