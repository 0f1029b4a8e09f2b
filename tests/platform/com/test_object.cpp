// The object kit of platform/com: counting and QueryInterface of Object, the module
// lock of ModuleObject and ClassFactory, and the guard.

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/com/class_factory.h"
#include "platform/com/dispatch_impl.h"
#include "platform/com/guard.h"
#include "tests/platform/com/calc.h"

namespace {

using namespace ospreon::com;

constinit ModuleLock g_first;
constinit ModuleLock g_second;

// An object with a dual interface and a plain one, which tells when it is gone.
class Probe final : public ModuleObject<g_first, VtableDispatch<ICalc>, IMemo>
{
public:
    explicit Probe(bool* gone) : m_gone(gone) {}
    ~Probe() override { *m_gone = true; }

    HRESULT get_Label(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_Label(BSTR) override { return E_NOTIMPL; }
    HRESULT Add(LONG, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT get_Total(LONG*) override { return E_NOTIMPL; }
    HRESULT Describe(VARIANT, BSTR*) override { return E_NOTIMPL; }
    HRESULT Divide(LONG, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT Remember(LONG) override { return S_OK; }

private:
    bool* m_gone;
};

TEST(Object, AnswersItsInterfacesWithOneIdentity)
{
    bool gone = false;
    ComPtr<Probe> probe = MakeObject<Probe>(&gone);
    ASSERT_TRUE(probe);
    ComPtr<IMemo> memo = probe.As<IMemo>();
    ComPtr<ICalc> calc = probe.As<ICalc>();
    ASSERT_TRUE(memo && calc);
    EXPECT_NE(static_cast<void*>(memo.get()), static_cast<void*>(calc.get()));
    EXPECT_EQ(memo.As<IUnknown>().get(), calc.As<IUnknown>().get())
        << "IUnknown is the same pointer whichever interface is asked";
    EXPECT_EQ(static_cast<void*>(memo.As<IDispatch>().get()), static_cast<void*>(calc.get()))
        << "IDispatch is the dual interface's";

    void* none = &gone;
    EXPECT_EQ(memo->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(memo->QueryInterface(IID_IMemo, nullptr), E_POINTER);

    probe.reset();
    calc.reset();
    EXPECT_FALSE(gone) << "one reference is left";
    memo.reset();
    EXPECT_TRUE(gone);
}

TEST(ModuleLock, EachModuleCountsItsOwnObjects)
{
    bool gone = false;
    ComPtr<Probe> probe = MakeObject<Probe>(&gone);
    EXPECT_EQ(g_first.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(g_second.CanUnloadNow(), S_OK) << "another module's objects do not hold it";
    probe.reset();
    EXPECT_EQ(g_first.CanUnloadNow(), S_OK);
}

TEST(ModuleLockDeathTest, MoreUnlocksThanLocksStopADebugBuild)
{
    ModuleLock lock;
    EXPECT_DEBUG_DEATH(lock.Unlock(), "unlocked more often than locked");
}

HRESULT CreateProbe(REFIID riid, void** object)
{
    static bool gone = false;
    return CreateObject<Probe>(riid, object, &gone);
}

HRESULT Throwing(REFIID, void**)
{
    throw std::runtime_error("a fault in the constructor");
}

TEST(ClassFactory, OnlyLockServerAndItsObjectsHoldTheModule)
{
    ClassFactory<g_second, HRESULT (*)(REFIID, void**)> factory{&CreateProbe};
    ComPtr<IClassFactory> held(&factory); // module data: references do not count
    EXPECT_EQ(g_second.Count(), 0);
    ASSERT_EQ(held->LockServer(1), S_OK);
    EXPECT_EQ(g_second.CanUnloadNow(), S_FALSE);
    ASSERT_EQ(held->LockServer(0), S_OK);
    EXPECT_EQ(g_second.CanUnloadNow(), S_OK);

    ComPtr<IMemo> memo;
    ASSERT_EQ(held->CreateInstance(nullptr, IID_IMemo, memo.putVoid()), S_OK);
    EXPECT_EQ(g_first.Count(), 1) << "the object's module is held";
    memo.reset();
    EXPECT_EQ(g_first.Count(), 0);

    void* object = &memo;
    EXPECT_EQ(held->CreateInstance(nullptr, IID_IMemo, nullptr), E_POINTER);
    EXPECT_EQ(held->CreateInstance(held.get(), IID_IMemo, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(held->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(g_first.Count(), 0) << "an object not handed out is gone";

    ClassFactory<g_second, HRESULT (*)(REFIID, void**)> throwing{&Throwing};
    EXPECT_EQ(throwing.CreateInstance(nullptr, IID_IMemo, &object), E_FAIL);
}

TEST(Guarded, KeepsEveryExceptionInsideAndClearsOlderErrorInfo)
{
    struct Case
    {
        const char* what;
        HRESULT (*body)();
        HRESULT expected;
    };
    const Case cases[] = {
        {"returns", [] { return S_FALSE; }, S_FALSE},
        {"bad_alloc", []() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"std::exception", []() -> HRESULT { throw std::runtime_error("x"); }, E_FAIL},
        {"anything else", []() -> HRESULT { throw 42; }, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        (void)FailWith(E_INVALIDARG, "test", "an older failure");
        EXPECT_EQ(Guarded(c.body), c.expected);
        EXPECT_EQ(TakeErrorText().description, "");
    }
}

} // namespace
