#include "platform/os/service_manager.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include <systemd/sd-bus.h>

namespace ospreon::os {

namespace {

constexpr std::uint64_t kCallTimeoutUsec = 10'000'000;
constexpr std::string_view kServiceSuffix = ".service";
constexpr char kManagerName[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManagerInterface[] = "org.freedesktop.systemd1.Manager";
constexpr char kUnitInterface[] = "org.freedesktop.systemd1.Unit";
// A unit that has no unit file: systemd keeps it only because something names it.
constexpr std::string_view kNotFound = "not-found";

struct BusCloser
{
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusCloser>;

struct MessageUnref
{
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct FreeString
{
    void operator()(char* text) const { std::free(text); }
};

class BusError
{
public:
    BusError() = default;
    ~BusError() { sd_bus_error_free(&m_error); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    sd_bus_error* get() { return &m_error; }

    // The error's name and text when the call set one, else the errno's text.
    std::string Describe(int code) const
    {
        if (!sd_bus_error_is_set(&m_error))
            return std::strerror(code);
        std::string text = m_error.name;
        if (m_error.message && *m_error.message)
            text += std::string(": ") + m_error.message;
        return text;
    }

private:
    sd_bus_error m_error = SD_BUS_ERROR_NULL;
};

// The bus sd_bus_open_system connects to, for messages.
std::string SystemBusAddress()
{
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address && *address ? address : "unix:path=/run/dbus/system_bus_socket";
}

Error BusFailure(int negativeCode, const std::string& step, const std::string& detail)
{
    return Error::Errno(-negativeCode, step + " (" + SystemBusAddress() + "): " + detail);
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Reads the a(ssssssouso) reply of ListUnits into the services among the units.
Result<std::vector<ServiceInfo>> ReadUnits(sd_bus_message* reply)
{
    std::vector<ServiceInfo> services;
    int r = sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "(ssssssouso)");
    while (r > 0) {
        const char* name = nullptr;
        const char* description = nullptr;
        const char* loadState = nullptr;
        const char* activeState = nullptr;
        const char* subState = nullptr;
        const char* following = nullptr;
        const char* unitPath = nullptr;
        std::uint32_t jobId = 0;
        const char* jobType = nullptr;
        const char* jobPath = nullptr;
        r = sd_bus_message_read(reply, "(ssssssouso)", &name, &description, &loadState,
                                &activeState, &subState, &following, &unitPath, &jobId, &jobType,
                                &jobPath);
        if (r <= 0)
            break;
        std::string_view unit = name;
        if (!EndsWith(unit, kServiceSuffix) || loadState == kNotFound)
            continue;
        services.push_back(
            ServiceInfo{std::string(unit.substr(0, unit.size() - kServiceSuffix.size())),
                        description, std::string_view(subState) == "running"});
    }
    if (r >= 0)
        r = sd_bus_message_exit_container(reply);
    if (r < 0)
        return BusFailure(r, "cannot read the reply of ListUnits on the system bus",
                          std::strerror(-r));
    return services;
}

} // namespace

struct ServiceManager::Bus
{
    BusPtr bus;
};

ServiceManager::ServiceManager(std::unique_ptr<Bus> bus) : m_bus(std::move(bus)) {}
ServiceManager::ServiceManager(ServiceManager&&) noexcept = default;
ServiceManager& ServiceManager::operator=(ServiceManager&&) noexcept = default;
ServiceManager::~ServiceManager() = default;

Result<ServiceManager> ServiceManager::Open()
{
    sd_bus* rawBus = nullptr;
    int r = sd_bus_open_system(&rawBus);
    BusPtr bus(rawBus);
    if (r < 0)
        return BusFailure(r, "cannot connect to the system bus", std::strerror(-r));
    // sd-bus finishes connecting lazily; asking for our unique name waits until the
    // bus has accepted us (authentication and Hello), so a bus that does not answer
    // fails here and not at the first call.
    const char* unique = nullptr;
    r = sd_bus_get_unique_name(bus.get(), &unique);
    if (r < 0)
        return BusFailure(r, "cannot connect to the system bus", std::strerror(-r));
    return ServiceManager(std::make_unique<Bus>(Bus{std::move(bus)}));
}

Result<std::vector<ServiceInfo>> ServiceManager::ListServices()
{
    sd_bus* bus = m_bus->bus.get();
    sd_bus_message* rawCall = nullptr;
    int r = sd_bus_message_new_method_call(bus, &rawCall, kManagerName, kManagerPath,
                                           kManagerInterface, "ListUnits");
    MessagePtr call(rawCall);
    if (r < 0)
        return BusFailure(r, "cannot build the ListUnits call for the system bus",
                          std::strerror(-r));
    BusError error;
    sd_bus_message* rawReply = nullptr;
    r = sd_bus_call(bus, call.get(), kCallTimeoutUsec, error.get(), &rawReply);
    MessagePtr reply(rawReply);
    if (r < 0)
        return BusFailure(r, "ListUnits failed on the system bus", error.Describe(-r));
    return ReadUnits(reply.get());
}

Result<std::optional<ServiceInfo>> ServiceManager::FindService(const std::string& name)
{
    sd_bus* bus = m_bus->bus.get();
    const std::string unit = name + std::string(kServiceSuffix);
    MessagePtr reply;
    {
        BusError error;
        sd_bus_message* rawReply = nullptr;
        const int r = sd_bus_call_method(bus, kManagerName, kManagerPath, kManagerInterface,
                                         "LoadUnit", error.get(), &rawReply, "s", unit.c_str());
        reply.reset(rawReply);
        if (r < 0) {
            // systemd answers InvalidArgs for text that is no unit name; sd-bus does not
            // send text that is not UTF-8 (EINVAL). Neither names a service.
            if (sd_bus_error_has_name(error.get(), SD_BUS_ERROR_INVALID_ARGS) ||
                (!sd_bus_error_is_set(error.get()) && r == -EINVAL))
                return std::optional<ServiceInfo>();
            return BusFailure(r, "LoadUnit of " + unit + " failed on the system bus",
                              error.Describe(-r));
        }
    }
    const char* path = nullptr;
    if (const int r = sd_bus_message_read(reply.get(), "o", &path); r < 0)
        return BusFailure(r, "cannot read the reply of LoadUnit on the system bus",
                          std::strerror(-r));

    // Only the properties the check compares; the sub-state says whether it runs.
    std::string values[3];
    const char* const properties[3] = {"LoadState", "Description", "SubState"};
    for (std::size_t i = 0; i < std::size(properties); ++i) {
        BusError error;
        char* rawValue = nullptr;
        const int r = sd_bus_get_property_string(bus, kManagerName, path, kUnitInterface,
                                                 properties[i], error.get(), &rawValue);
        std::unique_ptr<char, FreeString> value(rawValue);
        if (r < 0)
            return BusFailure(r,
                              std::string("cannot read ") + properties[i] + " of " + unit +
                                  " on the system bus",
                              error.Describe(-r));
        values[i] = value.get();
        if (i == 0 && values[0] == kNotFound)
            return std::optional<ServiceInfo>();
    }
    return std::optional<ServiceInfo>(ServiceInfo{name, values[1], values[2] == "running"});
}

Result<std::vector<ServiceInfo>> ListServices()
{
    Result<ServiceManager> manager = ServiceManager::Open();
    if (!manager)
        return manager.error();
    return manager->ListServices();
}

} // namespace ospreon::os
