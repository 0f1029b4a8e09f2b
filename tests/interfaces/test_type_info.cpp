// Late-bound calls through the shared descriptors reach the right vtable member
// with the right arguments.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interfaces/service_monitor.h"
#include "interfaces/type_info.h"
#include "interfaces/user.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_impl.h"

namespace {

using namespace ospreon::com;
using ospreon::kIServiceMonitorDesc;
using ospreon::kIUserDesc;

template <class Interface> class Refs : public Interface
{
public:
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Interface::Iid) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
};

// Records which member was called and with what, as text.
class RecordingUser final : public Refs<DispatchImpl<IUser, kIUserDesc>>
{
public:
    std::string call;

    HRESULT get_UserName(BSTR* v) override { return Out("get_UserName", v); }
    HRESULT put_UserName(BSTR v) override { return In("put_UserName", BstrToUtf8(v)); }
    HRESULT get_ServiceType(BSTR* v) override { return Out("get_ServiceType", v); }
    HRESULT get_InfoNumber(LONG* v) override { return *v = 3, In("get_InfoNumber", ""); }
    HRESULT put_InfoNumber(LONG v) override { return In("put_InfoNumber", std::to_string(v)); }
    HRESULT get_InfoName(LONG i, BSTR* v) override
    {
        return In("get_InfoName", std::to_string(i)), Out(call.c_str(), v);
    }
    HRESULT put_InfoName(LONG i, BSTR v) override
    {
        return In("put_InfoName", std::to_string(i) + "," + BstrToUtf8(v));
    }
    HRESULT get_UserInfo(LONG i, VARIANT* v) override
    {
        return In("get_UserInfo", std::to_string(i)), OutVariant(v);
    }
    HRESULT put_UserInfo(LONG i, VARIANT v) override
    {
        return In("put_UserInfo", std::to_string(i) + "," + Text(v));
    }
    HRESULT get_InfoVal(BSTR k, VARIANT* v) override
    {
        return In("get_InfoVal", BstrToUtf8(k)), OutVariant(v);
    }
    HRESULT put_InfoVal(BSTR k, VARIANT v) override
    {
        return In("put_InfoVal", BstrToUtf8(k) + "," + Text(v));
    }
    HRESULT get_UserFunc(IDispatch** v) override { return *v = nullptr, In("get_UserFunc", ""); }
    HRESULT put_UserFunc(IDispatch* v) override
    {
        return In("put_UserFunc", v ? "object" : "null");
    }

private:
    HRESULT In(const char* name, const std::string& args)
    {
        call = std::string(name) + "(" + args + ")";
        return S_OK;
    }
    HRESULT Out(const char* name, BSTR* v)
    {
        if (call.rfind(name, 0) != 0)
            call = std::string(name) + "()";
        *v = Utf8ToBstr(call);
        return S_OK;
    }
    HRESULT OutVariant(VARIANT* v)
    {
        v->vt = VT_BSTR;
        v->bstrVal = Utf8ToBstr(call);
        return S_OK;
    }
    static std::string Text(VARIANT v)
    {
        Variant copy;
        (void)VariantCopy(copy.ptr(), &v);
        std::string text;
        return SUCCEEDED(copy.ToString(text)) ? text : "?";
    }
};

class RecordingMonitor final : public Refs<DispatchImpl<IServiceMonitor, kIServiceMonitorDesc>>
{
public:
    std::string call;
    IUser* lastUser = nullptr;

    HRESULT get_Server(BSTR* v) override { return *v = nullptr, Record("get_Server", nullptr); }
    HRESULT put_Server(BSTR) override { return Record("put_Server", nullptr); }
    HRESULT Monitor(IUser* u) override { return Record("Monitor", u); }
    HRESULT ExcuteCommand(IUser* u) override { return Record("ExcuteCommand", u); }
    HRESULT Notify(IUser* u) override { return Record("Notify", u); }
    HRESULT Init(IUser* u) override { return Record("Init", u); }
    HRESULT NotifySucc(IUser* u) override { return Record("NotifySucc", u); }

private:
    HRESULT Record(const char* name, IUser* user)
    {
        call = name;
        lastUser = user;
        return S_OK;
    }
};

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args, Variant& result)
{
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        reversed.push_back(it->get());
    DISPID putId = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()),
                      put ? 1u : 0u};
    return object->Invoke(id, GUID_NULL, 0, flags, &params, result.put(), nullptr, nullptr);
}

DISPID IdOf(IDispatch* object, const char16_t* name)
{
    std::u16string copy = name;
    LPOLESTR names[] = {copy.data()};
    DISPID id = DISPID_UNKNOWN;
    (void)object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
    return id;
}

TEST(UserDescriptor, EachDispatchIdReachesItsMember)
{
    RecordingUser user;
    {
        struct Case
        {
            const char16_t* name;
            DISPID id;
            WORD flags;
            std::vector<Variant> args;
            const char* call;
        };
        const Case cases[] = {
            {u"UserName", 1, DISPATCH_PROPERTYGET, {}, "get_UserName()"},
            {u"UserName",
             1,
             DISPATCH_PROPERTYPUT,
             {Variant("Ramwarden of x")},
             "put_UserName(Ramwarden of x)"},
            {u"ServiceType", 2, DISPATCH_PROPERTYGET, {}, "get_ServiceType()"},
            {u"InfoNumber", 3, DISPATCH_PROPERTYGET, {}, "get_InfoNumber()"},
            {u"InfoNumber", 3, DISPATCH_PROPERTYPUT, {Variant(LONG{4})}, "put_InfoNumber(4)"},
            {u"InfoName", 4, DISPATCH_PROPERTYGET, {Variant(LONG{2})}, "get_InfoName(2)"},
            {u"InfoName",
             4,
             DISPATCH_PROPERTYPUT,
             {Variant(LONG{8}), Variant("Status")},
             "put_InfoName(8,Status)"},
            {u"UserInfo", 5, DISPATCH_PROPERTYGET, {Variant(LONG{1})}, "get_UserInfo(1)"},
            {u"UserInfo",
             5,
             DISPATCH_PROPERTYPUT,
             {Variant(LONG{1}), Variant(LONG{90})},
             "put_UserInfo(1,90)"},
            {u"InfoVal", 6, DISPATCH_PROPERTYGET, {Variant("Status")}, "get_InfoVal(Status)"},
            {u"InfoVal",
             6,
             DISPATCH_PROPERTYPUT,
             {Variant("Status"), Variant("Enable")},
             "put_InfoVal(Status,Enable)"},
            {u"UserFunc", 7, DISPATCH_PROPERTYGET, {}, "get_UserFunc()"},
            {u"UserFunc",
             7,
             DISPATCH_PROPERTYPUT,
             {Variant(static_cast<IDispatch*>(&user))},
             "put_UserFunc(object)"},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(IdOf(&user, c.name), c.id) << c.call;
            Variant result;
            ASSERT_EQ(Invoke(&user, c.id, c.flags, c.args, result), S_OK) << c.call;
            EXPECT_EQ(user.call, c.call);
        }
    }
    EXPECT_EQ(user.refs, 1u) << "the argument's reference is given back";
}

TEST(ServiceMonitorDescriptor, MethodsReceiveTheRecord)
{
    RecordingMonitor monitor;
    RecordingUser user;
    const std::pair<const char16_t*, const char*> methods[] = {
        {u"Monitor", "Monitor"}, {u"ExcuteCommand", "ExcuteCommand"}, {u"Notify", "Notify"},
        {u"Init", "Init"},       {u"NotifySucc", "NotifySucc"},
    };
    DISPID expected = 2;
    for (const auto& [name, call] : methods) {
        DISPID id = IdOf(&monitor, name);
        EXPECT_EQ(id, expected++) << call;
        Variant result;
        ASSERT_EQ(Invoke(&monitor, id, DISPATCH_METHOD, {Variant(static_cast<IDispatch*>(&user))},
                         result),
                  S_OK);
        EXPECT_EQ(monitor.call, call);
        EXPECT_EQ(monitor.lastUser, static_cast<IUser*>(&user)) << "the record arrives as IUser";
    }
    EXPECT_EQ(user.refs, 1u) << "the record's reference is given back after the call";
    Variant result;
    EXPECT_EQ(Invoke(&monitor, 2, DISPATCH_METHOD, {Variant("not a record")}, result),
              DISP_E_TYPEMISMATCH);
}

} // namespace
