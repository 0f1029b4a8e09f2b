#include "tests/support/fake_user.h"

#include <stdexcept>

namespace ospreon::test {

using com::BstrToUtf8;
using com::Variant;

com::ComPtr<FakeUser> FakeUser::Create(const std::string& name, const std::string& type)
{
    return com::ComPtr<FakeUser>::Attach(new FakeUser(name, type));
}

int FakeUser::Find(const std::string& key) const
{
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].first == key)
            return static_cast<int>(i);
    }
    return -1;
}

void FakeUser::Set(const std::string& key, const std::string& value)
{
    SetVariant(key, Variant(value));
}

void FakeUser::SetVariant(const std::string& key, const Variant& value)
{
    int index = Find(key);
    if (index < 0)
        m_entries.emplace_back(key, value);
    else
        m_entries[index].second = value;
}

bool FakeUser::Has(const std::string& key) const
{
    return Find(key) >= 0;
}

std::string FakeUser::Get(const std::string& key) const
{
    int index = Find(key);
    if (index < 0)
        return "<missing>";
    std::string text;
    return SUCCEEDED(m_entries[index].second.ToString(text)) ? text : "<no text>";
}

std::vector<std::string> FakeUser::Keys() const
{
    std::vector<std::string> keys;
    for (const auto& entry : m_entries)
        keys.push_back(entry.first);
    return keys;
}

HRESULT FakeUser::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IUser) {
        *object = static_cast<IUser*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG FakeUser::Release()
{
    ULONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return refs;
}

HRESULT FakeUser::get_UserName(BSTR* pVal)
{
    m_calls.push_back("get_UserName");
    *pVal = com::Utf8ToBstr(m_name);
    return S_OK;
}

HRESULT FakeUser::put_UserName(BSTR newVal)
{
    m_calls.push_back("put_UserName");
    m_name = BstrToUtf8(newVal);
    return S_OK;
}

HRESULT FakeUser::get_ServiceType(BSTR* pVal)
{
    m_calls.push_back("get_ServiceType");
    *pVal = com::Utf8ToBstr(m_type);
    return S_OK;
}

HRESULT FakeUser::get_InfoNumber(LONG* pVal)
{
    *pVal = static_cast<LONG>(m_entries.size());
    return S_OK;
}

HRESULT FakeUser::put_InfoNumber(LONG)
{
    return E_NOTIMPL;
}

HRESULT FakeUser::get_InfoName(LONG nIndex, BSTR* pVal)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_entries.size())
        return DISP_E_BADINDEX;
    *pVal = com::Utf8ToBstr(m_entries[nIndex].first);
    return S_OK;
}

HRESULT FakeUser::put_InfoName(LONG nIndex, BSTR newVal)
{
    const std::string key = BstrToUtf8(newVal);
    m_calls.push_back("put_InfoName(" + std::to_string(nIndex) + "," + key + ")");
    if (!Has(key))
        m_entries.emplace_back(key, Variant());
    return S_OK;
}

HRESULT FakeUser::get_UserInfo(LONG nIndex, VARIANT* pVal)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_entries.size())
        return DISP_E_BADINDEX;
    return VariantCopy(pVal, &m_entries[nIndex].second.get());
}

HRESULT FakeUser::put_UserInfo(LONG nIndex, VARIANT newVal)
{
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_entries.size())
        return DISP_E_BADINDEX;
    return VariantCopy(m_entries[nIndex].second.ptr(), &newVal);
}

HRESULT FakeUser::get_InfoVal(BSTR InfoName, VARIANT* pVal)
{
    const std::string key = BstrToUtf8(InfoName);
    m_calls.push_back("get_InfoVal(" + key + ")");
    if (m_faults.count(key))
        throw std::runtime_error("scripted fault reading " + key);
    if (auto failure = m_failures.find(key); failure != m_failures.end())
        return failure->second;
    int index = Find(key);
    if (index < 0)
        return DISP_E_UNKNOWNNAME;
    return VariantCopy(pVal, &m_entries[index].second.get());
}

HRESULT FakeUser::put_InfoVal(BSTR InfoName, VARIANT newVal)
{
    const std::string key = BstrToUtf8(InfoName);
    Variant value;
    HRESULT hr = VariantCopy(value.ptr(), &newVal);
    std::string text;
    (void)value.ToString(text);
    m_calls.push_back("put_InfoVal(" + key + "," + text + ")");
    if (FAILED(hr))
        return hr;
    SetVariant(key, value);
    return S_OK;
}

HRESULT FakeUser::get_UserFunc(IDispatch** pVal)
{
    *pVal = m_func.get();
    if (*pVal)
        (*pVal)->AddRef();
    return m_func ? S_OK : E_FAIL;
}

HRESULT FakeUser::put_UserFunc(IDispatch* newVal)
{
    m_func = com::ComPtr<IDispatch>(newVal);
    return S_OK;
}

} // namespace ospreon::test
