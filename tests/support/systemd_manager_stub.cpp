// systemd_manager_stub UNITS-FILE
//
// A small stand-in for systemd's manager, for tests on a private bus. It connects
// to the bus named by $DBUS_SYSTEM_BUS_ADDRESS, owns org.freedesktop.systemd1 and
// serves, from UNITS-FILE (read again on every call so a test can change the units
// between calls):
//
// - org.freedesktop.systemd1.Manager on /org/freedesktop/systemd1:
//   - ListUnits, answering a(ssssssouso) with the loaded units. The rest of each
//     entry is filled as systemd would for a unit without a job: no following unit,
//     the unit's object path, job 0, no job type, job path "/".
//   - LoadUnit(s) -> o, the object path of any unit with a valid name (letters,
//     digits and ":-_.\@"); InvalidArgs for another name.
// - org.freedesktop.systemd1.Unit on every unit's object path, with the properties
//   Description, LoadState, ActiveState and SubState: the file's fields for a unit
//   it holds, else those systemd gives a unit it has no file for: the unit's name,
//   "not-found", "inactive", "dead".
//
// The file holds one unit per line, fields separated by tabs:
//
//     name<TAB>description<TAB>load state<TAB>active state<TAB>sub state[<TAB>unloaded]
//
// e.g. "cron.service\tRegular background program processing daemon\tloaded\tactive\trunning".
// A sixth field "unloaded" marks a unit the manager has unloaded: ListUnits leaves it
// out, LoadUnit and its object still answer for it. Missing fields are empty; empty
// lines and lines starting with '#' are skipped.
//
// Prints "READY" on stdout once the name is owned, then serves until SIGTERM or
// SIGINT. An unreadable file makes ListUnits fail with FileNotFound.

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

namespace {

struct BusCloser
{
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct EventUnref
{
    void operator()(sd_event* event) const { sd_event_unref(event); }
};
struct MessageUnref
{
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct FreeString
{
    void operator()(char* text) const { std::free(text); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct Unit
{
    std::string fields[6]; // name, description, load, active, sub, "unloaded"

    bool Listed() const { return fields[5] != "unloaded"; }
};

constexpr char kUnitPrefix[] = "/org/freedesktop/systemd1/unit";

bool ReadUnits(const char* fileName, std::vector<Unit>& units)
{
    std::ifstream file(fileName);
    if (!file)
        return false;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        Unit unit;
        std::size_t start = 0;
        for (std::string& field : unit.fields) {
            std::size_t tab = line.find('\t', start);
            field = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            if (tab == std::string::npos) {
                start = line.size();
                continue;
            }
            start = tab + 1;
        }
        units.push_back(std::move(unit));
    }
    return true;
}

int AppendUnit(sd_bus_message* reply, const Unit& unit)
{
    // The unit's object path escapes every character but letters and digits, as
    // systemd does ("cron.service" -> .../unit/cron_2eservice).
    char* rawPath = nullptr;
    int r = sd_bus_path_encode(kUnitPrefix, unit.fields[0].c_str(), &rawPath);
    std::unique_ptr<char, FreeString> path(rawPath);
    if (r < 0)
        return r;
    return sd_bus_message_append(reply, "(ssssssouso)", unit.fields[0].c_str(),
                                 unit.fields[1].c_str(), unit.fields[2].c_str(),
                                 unit.fields[3].c_str(), unit.fields[4].c_str(), "", path.get(),
                                 std::uint32_t{0}, "", "/");
}

int ListUnits(sd_bus_message* call, void* userdata, sd_bus_error* error)
{
    const char* fileName = static_cast<const char*>(userdata);
    std::vector<Unit> units;
    if (!ReadUnits(fileName, units))
        return sd_bus_error_setf(error, SD_BUS_ERROR_FILE_NOT_FOUND, "cannot read %s", fileName);

    sd_bus_message* rawReply = nullptr;
    int r = sd_bus_message_new_method_return(call, &rawReply);
    MessagePtr reply(rawReply);
    if (r < 0)
        return r;
    r = sd_bus_message_open_container(reply.get(), SD_BUS_TYPE_ARRAY, "(ssssssouso)");
    for (std::size_t i = 0; r >= 0 && i < units.size(); ++i) {
        if (units[i].Listed())
            r = AppendUnit(reply.get(), units[i]);
    }
    if (r >= 0)
        r = sd_bus_message_close_container(reply.get());
    if (r < 0)
        return sd_bus_error_set_errnof(error, -r, "cannot build the unit list");
    return sd_bus_send(nullptr, reply.get(), nullptr);
}

bool ValidUnitName(const std::string& name)
{
    if (name.empty() || name.size() > 255)
        return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || std::strchr(":-_.\\@", c) != nullptr;
    });
}

int LoadUnit(sd_bus_message* call, void*, sd_bus_error* error)
{
    const char* name = nullptr;
    int r = sd_bus_message_read(call, "s", &name);
    if (r < 0)
        return r;
    if (!ValidUnitName(name))
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "Unit name %s is not valid.",
                                 name);
    char* rawPath = nullptr;
    r = sd_bus_path_encode(kUnitPrefix, name, &rawPath);
    std::unique_ptr<char, FreeString> path(rawPath);
    if (r < 0)
        return r;
    return sd_bus_reply_method_return(call, "o", path.get());
}

// One property of the unit whose object path is `path`.
int GetUnitProperty(sd_bus*, const char* path, const char*, const char* property,
                    sd_bus_message* reply, void* userdata, sd_bus_error* error)
{
    const char* fileName = static_cast<const char*>(userdata);
    char* rawName = nullptr;
    int r = sd_bus_path_decode(path, kUnitPrefix, &rawName);
    std::unique_ptr<char, FreeString> name(rawName);
    if (r <= 0)
        return sd_bus_error_setf(error, SD_BUS_ERROR_UNKNOWN_OBJECT, "no unit at %s", path);
    std::vector<Unit> units;
    if (!ReadUnits(fileName, units))
        return sd_bus_error_setf(error, SD_BUS_ERROR_FILE_NOT_FOUND, "cannot read %s", fileName);
    Unit unit{{name.get(), name.get(), "not-found", "inactive", "dead", "unloaded"}};
    const auto known = std::find_if(units.begin(), units.end(),
                                    [&](const Unit& u) { return u.fields[0] == name.get(); });
    if (known != units.end())
        unit = *known;
    const std::string_view which = property;
    const int field = which == "Description"   ? 1
                      : which == "LoadState"   ? 2
                      : which == "ActiveState" ? 3
                                               : 4;
    return sd_bus_message_append(reply, "s", unit.fields[field].c_str());
}

int Quit(sd_event_source* source, const signalfd_siginfo*, void*)
{
    return sd_event_exit(sd_event_source_get_event(source), 0);
}

const sd_bus_vtable kManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("ListUnits", "", "a(ssssssouso)", ListUnits, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("LoadUnit", "s", "o", LoadUnit, SD_BUS_VTABLE_UNPRIVILEGED), SD_BUS_VTABLE_END};

const sd_bus_vtable kUnitVtable[] = {SD_BUS_VTABLE_START(0),
                                     SD_BUS_PROPERTY("Description", "s", GetUnitProperty, 0, 0),
                                     SD_BUS_PROPERTY("LoadState", "s", GetUnitProperty, 0, 0),
                                     SD_BUS_PROPERTY("ActiveState", "s", GetUnitProperty, 0, 0),
                                     SD_BUS_PROPERTY("SubState", "s", GetUnitProperty, 0, 0),
                                     SD_BUS_VTABLE_END};

int Fail(const char* step, int r)
{
    std::fprintf(stderr, "systemd_manager_stub: %s: %s\n", step, std::strerror(-r));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: systemd_manager_stub UNITS-FILE\n");
        return 2;
    }

    // sd-event takes the signals through a signalfd, so they must be blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    sd_event* rawEvent = nullptr;
    int r = sd_event_new(&rawEvent);
    std::unique_ptr<sd_event, EventUnref> event(rawEvent);
    if (r < 0)
        return Fail("cannot create the event loop", r);
    for (int signal : {SIGTERM, SIGINT}) {
        if ((r = sd_event_add_signal(event.get(), nullptr, signal, Quit, nullptr)) < 0)
            return Fail("cannot watch the stop signals", r);
    }

    sd_bus* rawBus = nullptr;
    r = sd_bus_open_system(&rawBus);
    std::unique_ptr<sd_bus, BusCloser> bus(rawBus);
    if (r < 0)
        return Fail("cannot connect to the bus", r);
    r = sd_bus_add_object_vtable(bus.get(), nullptr, "/org/freedesktop/systemd1",
                                 "org.freedesktop.systemd1.Manager", kManagerVtable, argv[1]);
    if (r < 0)
        return Fail("cannot export the manager", r);
    r = sd_bus_add_fallback_vtable(bus.get(), nullptr, kUnitPrefix, "org.freedesktop.systemd1.Unit",
                                   kUnitVtable, nullptr, argv[1]);
    if (r < 0)
        return Fail("cannot export the units", r);
    r = sd_bus_request_name(bus.get(), "org.freedesktop.systemd1", 0);
    if (r < 0)
        return Fail("cannot own org.freedesktop.systemd1", r);
    if ((r = sd_bus_attach_event(bus.get(), event.get(), SD_EVENT_PRIORITY_NORMAL)) < 0)
        return Fail("cannot attach the bus to the event loop", r);

    std::fputs("READY\n", stdout);
    std::fflush(stdout);

    r = sd_event_loop(event.get());
    sd_bus_detach_event(bus.get());
    return r < 0 ? Fail("event loop failed", r) : 0;
}
