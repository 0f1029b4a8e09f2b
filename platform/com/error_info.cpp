#include "platform/com/error_info.h"

#include <cerrno>
#include <mutex>

#include "platform/com/object.h"

namespace {

using ospreon::com::Bstr;
using ospreon::com::ComPtr;

// One error object: written through ICreateErrorInfo, read through IErrorInfo.
class ErrorInfo final : public ospreon::com::Object<IErrorInfo, ICreateErrorInfo>
{
public:
    HRESULT GetGUID(GUID* guid) override
    {
        if (!guid)
            return E_POINTER;
        std::lock_guard lock(m_mutex);
        *guid = m_guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return Copy(m_source, source); }
    HRESULT GetDescription(BSTR* description) override { return Copy(m_description, description); }
    HRESULT GetHelpFile(BSTR* helpFile) override { return Copy(m_helpFile, helpFile); }
    HRESULT GetHelpContext(DWORD* helpContext) override
    {
        if (!helpContext)
            return E_POINTER;
        std::lock_guard lock(m_mutex);
        *helpContext = m_helpContext;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID guid) override
    {
        std::lock_guard lock(m_mutex);
        m_guid = guid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR source) override { return Assign(m_source, source); }
    HRESULT SetDescription(LPOLESTR description) override
    {
        return Assign(m_description, description);
    }
    HRESULT SetHelpFile(LPOLESTR helpFile) override { return Assign(m_helpFile, helpFile); }
    HRESULT SetHelpContext(DWORD helpContext) override
    {
        std::lock_guard lock(m_mutex);
        m_helpContext = helpContext;
        return S_OK;
    }

private:
    HRESULT Copy(const Bstr& text, BSTR* out)
    {
        if (!out)
            return E_POINTER;
        std::lock_guard lock(m_mutex);
        *out = Bstr(text).detach();
        return *out || text.isNull() ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT Assign(Bstr& text, LPCOLESTR value)
    {
        std::u16string_view view;
        if (value)
            view = value;
        Bstr copy(view);
        if (!copy.get())
            return E_OUTOFMEMORY;
        std::lock_guard lock(m_mutex);
        text = std::move(copy);
        return S_OK;
    }

    std::mutex m_mutex;
    GUID m_guid = GUID_NULL;
    Bstr m_source;
    Bstr m_description;
    Bstr m_helpFile;
    DWORD m_helpContext = 0;
};

thread_local ComPtr<IErrorInfo> t_errorInfo;

} // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    ComPtr<ErrorInfo> created = ospreon::com::MakeObject<ErrorInfo>();
    if (!created)
        return E_OUTOFMEMORY;
    *info = static_cast<ICreateErrorInfo*>(created.detach());
    return S_OK;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info)
{
    if (reserved != 0)
        return E_INVALIDARG;
    ComPtr<IErrorInfo> replaced = std::exchange(t_errorInfo, ComPtr<IErrorInfo>(info));
    return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (reserved != 0)
        return E_INVALIDARG;
    *info = t_errorInfo.detach();
    return *info ? S_OK : S_FALSE;
}

namespace ospreon::com {

void ClearErrorInfo() noexcept
{
    (void)SetErrorInfo(0, nullptr);
}

HRESULT FailWith(HRESULT hr, std::string_view source, std::string_view description) noexcept
{
    try {
        ComPtr<ICreateErrorInfo> created;
        if (FAILED(CreateErrorInfo(created.put()))) {
            ClearErrorInfo();
            return hr;
        }
        Bstr sourceText(source);
        Bstr descriptionText(description);
        (void)created->SetSource(sourceText.get());
        (void)created->SetDescription(descriptionText.get());
        (void)SetErrorInfo(0, created.As<IErrorInfo>().get());
    } catch (...) {
        ClearErrorInfo(); // no text rather than an older failure's
    }
    return hr;
}

ErrorText TakeErrorText()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info)
        return {};
    Bstr source;
    Bstr description;
    (void)info->GetSource(source.put());
    (void)info->GetDescription(description.put());
    return {source.utf8(), description.utf8()};
}

HRESULT HResultOf(const Error& error) noexcept
{
    switch (error.kind) {
    case ErrorKind::HResult:
        return FAILED(error.code) ? static_cast<HRESULT>(error.code) : E_FAIL;
    case ErrorKind::Win32:
        return error.code != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error.code) : E_FAIL;
    case ErrorKind::Errno:
        switch (error.code) {
        case ENOMEM:
            return E_OUTOFMEMORY;
        case EACCES:
        case EPERM:
            return E_ACCESSDENIED;
        case ENOENT:
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        case EINVAL:
            return E_INVALIDARG;
        default:
            return E_FAIL;
        }
    default:
        return E_FAIL;
    }
}

} // namespace ospreon::com
