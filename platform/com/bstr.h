#pragma once
// BSTR: a length-prefixed UTF-16 string, null-terminated, allocated and freed by
// the Sys* calls. A null BSTR is the empty string. Our 8-bit strings are UTF-8;
// Utf8ToBstr/BstrToUtf8 convert at every COM call (invalid sequences become U+FFFD).

#include <string>
#include <string_view>
#include <utility>

#include "platform/wintypes/wintypes.h"

using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

namespace ospreon::com {

// A new BSTR holding `text`; null only when memory runs out.
BSTR Utf8ToBstr(std::string_view text);
std::string BstrToUtf8(const OLECHAR* text, std::size_t length);
std::string BstrToUtf8(BSTR text);
std::u16string Utf8ToUtf16(std::string_view text);

// Owns one BSTR and frees it.
class Bstr
{
public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) : m_text(Utf8ToBstr(utf8)) {}
    explicit Bstr(std::u16string_view text)
        : m_text(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {}
    Bstr(const Bstr& other)
        : m_text(other.m_text ? SysAllocStringLen(other.m_text, SysStringLen(other.m_text))
                              : nullptr)
    {}
    Bstr(Bstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept
    {
        std::swap(m_text, other.m_text);
        return *this;
    }
    ~Bstr() { SysFreeString(m_text); }

    // Takes ownership of a BSTR the caller received.
    static Bstr Attach(BSTR text)
    {
        Bstr result;
        result.m_text = text;
        return result;
    }

    BSTR get() const { return m_text; }
    // Out-parameter: frees what is held first.
    BSTR* put()
    {
        reset();
        return &m_text;
    }
    BSTR detach() { return std::exchange(m_text, nullptr); }
    void reset()
    {
        SysFreeString(m_text);
        m_text = nullptr;
    }

    bool isNull() const { return m_text == nullptr; }
    UINT length() const { return SysStringLen(m_text); }
    std::string utf8() const { return BstrToUtf8(m_text); }
    std::u16string_view view() const { return {m_text ? m_text : u"", length()}; }

private:
    BSTR m_text = nullptr;
};

} // namespace ospreon::com
