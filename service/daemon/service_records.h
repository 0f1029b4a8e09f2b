#pragma once
// The records and the configuration as the daemon's processes reach them: through
// the service objects of libwardenhost.so, like every other process. A record's
// IUser is live, so the daemon keeps the ones it uses.

#include <optional>
#include <string>
#include <vector>

#include "interfaces/service_monitor.h"
#include "interfaces/user.h"
#include "interfaces/user_store.h"
#include "platform/base/result.h"
#include "platform/com/com_ptr.h"

namespace ospreon::daemon {

using com::ComPtr;

Result<ComPtr<IUserStore>> OpenUserStore();

// The record `name` (IUserRef, IUserStore.Open).
Result<ComPtr<IUser>> OpenRecord(IUserStore* store, const std::string& name);

// Every record, in the store's order.
Result<std::vector<ComPtr<IUser>>> AllRecords(IUserStore* store);

// The value under `key` as text; nullopt when the record lacks it or it cannot be
// read (the record removed meanwhile).
std::optional<std::string> ReadText(IUser* record, const char* key);

HRESULT WriteText(IUser* record, const char* key, const std::string& value);

// The plug-in object serving the record, through its UserFunc (which gives it Init
// with the record).
HRESULT ServingObject(IUser* record, ComPtr<IServiceMonitor>& object);

// A value of the configuration section "Wardenhost"; nullopt when unset or when the
// configuration cannot be read.
std::optional<std::string> ReadConfig(const char* name);

} // namespace ospreon::daemon
