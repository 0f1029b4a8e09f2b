// store_peer: a second process for the tests of the live record. It reaches the
// store of $OSPREON_HOME through the service objects, as the console or the daemon
// would, does one thing and exits:
//
//   store_peer get RECORD KEY                  prints the value
//   store_peer put RECORD KEY VALUE
//   store_peer remove RECORD
//   store_peer append RECORD PREFIX COUNT      puts PREFIX0..PREFIX<COUNT-1>, each
//                                              with the value "<key>-value"
//   store_peer overwrite RECORD KEY FILL COUNT puts COUNT times 64 KiB of the
//                                              character FILL followed by "#<i>"
//
// Exit status: 0 done, 2 the record cannot be opened, 3 a get or put failed (the
// HRESULT is printed), 4 bad usage.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "interfaces/guids.h"
#include "interfaces/user.h"
#include "interfaces/user_ref.h"
#include "interfaces/user_store.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/variant.h"

namespace {

using ospreon::com::Bstr;
using ospreon::com::ComPtr;
using ospreon::com::Variant;

constexpr int kDone = 0;
constexpr int kNoRecord = 2;
constexpr int kCallFailed = 3;
constexpr int kUsage = 4;

int Failed(const char* what, HRESULT hr)
{
    std::printf("%s failed: 0x%08X\n", what, static_cast<unsigned>(hr));
    return kCallFailed;
}

ComPtr<IUserRef> RefTo(const char* name)
{
    ComPtr<IUserRef> ref;
    if (FAILED(CoCreateInstance(CLSID_UserRef, nullptr, CLSCTX_INPROC_SERVER, IID_IUserRef,
                                ref.putVoid())))
        return nullptr;
    Bstr provider(kUserProvider), text(name);
    (void)ref->put_Provider(provider.get());
    (void)ref->put_Name(text.get());
    return ref;
}

HRESULT Put(IUser* record, const std::string& key, const std::string& value)
{
    Bstr name(key);
    Variant text(value);
    return record->put_InfoVal(name.get(), text.get());
}

int Run(int argc, char** argv)
{
    if (argc < 3)
        return kUsage;
    const std::string command = argv[1];
    ComPtr<IUserStore> store;
    if (FAILED(CoCreateInstance(CLSID_UserStore, nullptr, CLSCTX_INPROC_SERVER, IID_IUserStore,
                                store.putVoid())))
        return kNoRecord;
    ComPtr<IUserRef> ref = RefTo(argv[2]);
    if (!ref)
        return kNoRecord;
    if (command == "remove") {
        HRESULT hr = store->Remove(ref.get());
        return FAILED(hr) ? Failed("Remove", hr) : kDone;
    }
    if (FAILED(store->Open(ref.get())))
        return kNoRecord;
    Variant object;
    ComPtr<IUser> record;
    if (FAILED(ref->get_Object(object.put())) || object.type() != VT_DISPATCH ||
        FAILED(object.get().pdispVal->QueryInterface(IID_IUser, record.putVoid())))
        return kNoRecord;

    if (command == "get" && argc == 4) {
        Bstr key(argv[3]);
        Variant value;
        if (HRESULT hr = record->get_InfoVal(key.get(), value.put()); FAILED(hr))
            return Failed("InfoVal get", hr);
        std::string text;
        (void)value.ToString(text);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return kDone;
    }
    if (command == "put" && argc == 5) {
        HRESULT hr = Put(record.get(), argv[3], argv[4]);
        return FAILED(hr) ? Failed("InfoVal put", hr) : kDone;
    }
    if (command == "append" && argc == 5) {
        const int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            const std::string key = argv[3] + std::to_string(i);
            if (HRESULT hr = Put(record.get(), key, key + "-value"); FAILED(hr))
                return Failed(key.c_str(), hr);
        }
        return kDone;
    }
    if (command == "overwrite" && argc == 6) {
        const int count = std::atoi(argv[5]);
        for (int i = 0; i < count; ++i) {
            const std::string value = std::string(64 * 1024, argv[4][0]) + "#" + std::to_string(i);
            if (HRESULT hr = Put(record.get(), argv[3], value); FAILED(hr))
                return Failed("overwrite", hr);
        }
        return kDone;
    }
    return kUsage;
}

} // namespace

int main(int argc, char** argv)
{
    if (FAILED(CoInitialize(nullptr)))
        return kNoRecord;
    const int status = Run(argc, argv);
    CoUninitialize();
    return status;
}
