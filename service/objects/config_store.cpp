#include "service/objects/config_store.h"

#include "platform/base/ascii.h"
#include "service/objects/com_support.h"
#include "service/store/config_table.h"

namespace ospreon::service {

using store::kServiceSection;

HRESULT ConfigStore::OpenSection(BSTR section)
{
    return Guarded([&] {
        if (!EqualsNoCase(com::BstrToUtf8(section), kServiceSection))
            return E_INVALIDARG;
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        if (!db)
            return HResultOf(db.error());
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
            return E_UNEXPECTED;
        if (m_pending.empty())
            return S_OK;
        Result<void> saved = store::ConfigTable(*m_db).PutAll(kServiceSection, m_pending);
        if (!saved)
            return HResultOf(saved.error());
        m_pending.clear();
        return S_OK;
    });
}

HRESULT ConfigStore::get_Value(BSTR name, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return Guarded([&] {
        const std::string key = com::BstrToUtf8(name);
        std::lock_guard lock(m_mutex);
        if (!m_db)
            return E_UNEXPECTED;
        for (const auto& [pendingName, pendingValue] : m_pending) {
            if (EqualsNoCase(pendingName, key))
                return SetTextVariant(pendingValue, value);
        }
        Result<std::optional<std::string>> stored =
            store::ConfigTable(*m_db).Get(kServiceSection, key);
        if (!stored)
            return HResultOf(stored.error());
        if (!*stored)
            return DISP_E_UNKNOWNNAME;
        return SetTextVariant(**stored, value);
    });
}

HRESULT ConfigStore::put_Value(BSTR name, VARIANT value)
{
    return Guarded([&] {
        std::string text;
        if (HRESULT hr = VariantText(value, text); FAILED(hr))
            return hr;
        std::string key = com::BstrToUtf8(name);
        std::lock_guard lock(m_mutex);
        if (!m_db)
            return E_UNEXPECTED;
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
