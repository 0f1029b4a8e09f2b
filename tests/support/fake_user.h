#pragma once
// A monitor record for tests: ordered keys with values, and scripted misbehaviour —
// an HRESULT failure or a C++ fault (an exception thrown from inside the record) for
// chosen keys. Every call is recorded in order.

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "interfaces/type_info.h"
#include "interfaces/user.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_impl.h"

namespace ospreon::test {

class FakeUser final : public com::DispatchImpl<IUser, kIUserDesc>
{
public:
    // A new record with one reference.
    static com::ComPtr<FakeUser> Create(const std::string& name = "Testwarden of sample",
                                        const std::string& type = "Testwarden");

    // Sets a text value, appending the key when it is new.
    void Set(const std::string& key, const std::string& value);
    // Sets any value (a number VARIANT, an object).
    void SetVariant(const std::string& key, const com::Variant& value);
    bool Has(const std::string& key) const;
    // The value as text ("<missing>" when absent, "<no text>" when not convertible).
    std::string Get(const std::string& key) const;
    std::vector<std::string> Keys() const;

    // InfoVal get of `key` fails with `hr` / throws from inside the record.
    void FailGet(const std::string& key, HRESULT hr) { m_failures[key] = hr; }
    void FaultOn(const std::string& key) { m_faults[key] = true; }

    // "get_InfoVal(Monitor_Command)", "put_InfoName(8,DisplayName)", ... in call order.
    const std::vector<std::string>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }

    ULONG RefCount() const { return m_refs.load(); }

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override;

    HRESULT get_UserName(BSTR* pVal) override;
    HRESULT put_UserName(BSTR newVal) override;
    HRESULT get_ServiceType(BSTR* pVal) override;
    HRESULT get_InfoNumber(LONG* pVal) override;
    HRESULT put_InfoNumber(LONG newVal) override;
    HRESULT get_InfoName(LONG nIndex, BSTR* pVal) override;
    HRESULT put_InfoName(LONG nIndex, BSTR newVal) override;
    HRESULT get_UserInfo(LONG nIndex, VARIANT* pVal) override;
    HRESULT put_UserInfo(LONG nIndex, VARIANT newVal) override;
    HRESULT get_InfoVal(BSTR InfoName, VARIANT* pVal) override;
    HRESULT put_InfoVal(BSTR InfoName, VARIANT newVal) override;
    HRESULT get_UserFunc(IDispatch** pVal) override;
    HRESULT put_UserFunc(IDispatch* newVal) override;

private:
    FakeUser(std::string name, std::string type) : m_name(std::move(name)), m_type(std::move(type))
    {}
    ~FakeUser() = default;

    int Find(const std::string& key) const;

    std::atomic<ULONG> m_refs{1};
    std::string m_name;
    std::string m_type;
    std::vector<std::pair<std::string, com::Variant>> m_entries;
    std::map<std::string, HRESULT> m_failures;
    std::map<std::string, bool> m_faults;
    std::vector<std::string> m_calls;
    com::ComPtr<IDispatch> m_func;
};

} // namespace ospreon::test
