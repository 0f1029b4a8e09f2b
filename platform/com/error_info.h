#pragma once
// Error information travels beside the HRESULT, as in COM: a failing method leaves
// an IErrorInfo (its source and a description) on its thread with SetErrorInfo,
// and the caller takes it with GetErrorInfo, which hands it out once and clears it.
// Every method of ours clears it on entry (guard.h), so what a caller finds after a
// failure belongs to that failure.

#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

inline constexpr IID IID_IErrorInfo = MakeGuid("1CF2B120-547D-101B-8E65-08002B2BD119");
inline constexpr IID IID_ICreateErrorInfo = MakeGuid("22F03340-547D-101B-8E65-08002B2BD119");

struct IErrorInfo : IUnknown
{
    static constexpr const IID& Iid = IID_IErrorInfo;

    virtual HRESULT GetGUID(GUID* guid) = 0;
    virtual HRESULT GetSource(BSTR* source) = 0;
    virtual HRESULT GetDescription(BSTR* description) = 0;
    virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
    virtual HRESULT GetHelpContext(DWORD* helpContext) = 0;

protected:
    ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown
{
    static constexpr const IID& Iid = IID_ICreateErrorInfo;

    virtual HRESULT SetGUID(REFGUID guid) = 0;
    virtual HRESULT SetSource(LPOLESTR source) = 0;
    virtual HRESULT SetDescription(LPOLESTR description) = 0;
    virtual HRESULT SetHelpFile(LPOLESTR helpFile) = 0;
    virtual HRESULT SetHelpContext(DWORD helpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};

// A new, empty error object; query it for IErrorInfo to hand it to SetErrorInfo.
HRESULT CreateErrorInfo(ICreateErrorInfo** info);
// Replaces the thread's error information; null clears it. `reserved` must be 0.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Takes the thread's error information and clears it: S_FALSE and null when none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

namespace ospreon::com {

// Clears the thread's error information.
void ClearErrorInfo() noexcept;

// Fails with `hr`, leaving `description` (and `source`, the failing component) as
// the thread's error information. When the error object cannot be made, the
// HRESULT still goes back, without text.
[[nodiscard]] HRESULT FailWith(HRESULT hr, std::string_view source,
                               std::string_view description) noexcept;

// The HRESULT for `error` by the kind of its code: an HRESULT as it is, a Win32
// code through HRESULT_FROM_WIN32, the errno values that have one their HRESULT,
// anything else E_FAIL.
[[nodiscard]] HRESULT HResultOf(const Error& error) noexcept;

struct ErrorText
{
    std::string source;
    std::string description;
};

// Takes the thread's error information as text (GetErrorInfo); empty texts when
// there is none.
[[nodiscard]] ErrorText TakeErrorText();

} // namespace ospreon::com
