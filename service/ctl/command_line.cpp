#include "service/ctl/command_line.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "service/ctl/config_commands.h"
#include "service/ctl/control_commands.h"
#include "service/ctl/record_commands.h"
#include "service/ctl/register_commands.h"
#include "service/ctl/registry_commands.h"
#include "service/ctl/setup_command.h"
#include "service/ctl/status_command.h"

namespace ospreon::ctl {

namespace {

constexpr char kFooter[] =
    "Exit status: 0 done, 1 a test or notification found trouble, 2 bad usage or input,\n"
    "3 the store, a record or an object is unavailable. Put -- before a value that\n"
    "starts with a dash.";

// Everything the commands read from the command line.
struct Arguments
{
    bool json = false;
    std::string record;
    std::vector<std::string> records;
    std::string type;
    std::string name;
    std::string key;
    std::string value;
    std::string data;
    std::string file;
};

struct Command
{
    CLI::App* app;
    std::function<Outcome()> run;
};

class CommandTable
{
public:
    CommandTable(CLI::App& root, Arguments& args, Console& console)
        : m_root(root), m_args(args), m_console(console)
    {}

    void Build()
    {
        Arguments& a = m_args;
        Console& c = m_console;

        Add(m_root, "setup", "Create $OSPREON_HOME, register the service, install the plug-ins",
            [&c] { return RunSetup(c); });
        Add(m_root, "status", "Show the store, whether the daemon runs, and the monitor counts",
            [&c] { return ShowStatus(c); });
        Add(m_root, "types", "List the monitor types", [&c] { return ListTypes(c); });

        CLI::App* list = Add(m_root, "list",
                             "One line per monitor: name, type, status, result, parameter, "
                             "interval, last check, failures (tab-separated)",
                             [&] { return ListRecords(c, a.json); });
        list->add_flag("--json", a.json, "An array of objects instead");

        CLI::App* add = Add(m_root, "add", "Create the monitor \"TYPE of NAME\" and print its name",
                            [&] { return AddRecord(c, a.type, a.name); });
        Positional(add, "TYPE", a.type, "Monitor type (see `types`)");
        Positional(add, "NAME", a.name, "Name after \"TYPE of \"");

        CLI::App* show =
            Add(m_root, "show",
                "The monitor's values, in order, as `key = value`, then its last check "
                "and failure count",
                [&] { return ShowRecord(c, a.record, a.json); });
        Positional(show, "RECORD", a.record, "Monitor name, e.g. \"Ramwarden of web\"");
        show->add_flag("--json", a.json, "An object with name, type and parameters instead");

        CLI::App* get = Add(m_root, "get", "Print one value of a monitor",
                            [&] { return GetValue(c, a.record, a.key); });
        Positional(get, "RECORD", a.record, "Monitor name");
        Positional(get, "KEY", a.key, "Value name");

        CLI::App* set = Add(m_root, "set", "Set one value of a monitor",
                            [&] { return SetValue(c, a.record, a.key, a.value); });
        Positional(set, "RECORD", a.record, "Monitor name");
        Positional(set, "KEY", a.key, "Value name");
        Positional(set, "VALUE", a.value, "New value");

        CLI::App* remove =
            Add(m_root, "remove", "Delete a monitor", [&] { return RemoveRecord(c, a.record); });
        Positional(remove, "RECORD", a.record, "Monitor name");

        CLI::App* start = Add(m_root, "start", "Start monitors (\"Status\" Enable, result Ok)",
                              [&] { return StartRecords(c, a.records); });
        start->add_option("RECORD", a.records, "Monitor names")->required();
        CLI::App* stop = Add(m_root, "stop", "Stop monitors (\"Status\" Disable, result Ok)",
                             [&] { return StopRecords(c, a.records); });
        stop->add_option("RECORD", a.records, "Monitor names")->required();

        CLI::App* test = Add(m_root, "test", "Run the monitor's check once and record the result",
                             [&] { return TestRecord(c, a.record); });
        Positional(test, "RECORD", a.record, "Monitor name");
        CLI::App* notify = Add(m_root, "notify", "Send the monitor's notification once",
                               [&] { return NotifyRecord(c, a.record); });
        Positional(notify, "RECORD", a.record, "Monitor name");

        CLI::App* import = Add(m_root, "import", "Import the monitors of a monitor file",
                               [&] { return ImportFile(c, a.file); });
        Positional(import, "FILE", a.file, "Monitor file");
        CLI::App* exportCommand = Add(m_root, "export", "Export every monitor to a monitor file",
                                      [&] { return ExportFile(c, a.file); });
        Positional(exportCommand, "FILE", a.file, "Monitor file to write");

        CLI::App* config =
            m_root.add_subcommand("config", "The service configuration \"Wardenhost\"");
        config->require_subcommand(1);
        CLI::App* configGet = Add(*config, "get", "Print a configuration value",
                                  [&] { return GetConfig(c, a.name); });
        Positional(configGet, "NAME", a.name, "LogFile, BackupFile, ControlPass...");
        CLI::App* configSet = Add(*config, "set", "Set and save a configuration value",
                                  [&] { return SetConfig(c, a.name, a.value); });
        Positional(configSet, "NAME", a.name, "Value name");
        Positional(configSet, "VALUE", a.value, "New value");

        Add(m_root, "reload", "Ask the service to reload its configuration",
            [&c] { return Reload(c); });

        CLI::App* registerCommand = Add(m_root, "register", "Register a monitor type module",
                                        [&] { return RegisterModule(c, a.file); });
        Positional(registerCommand, "MODULE", a.file, "Module file (.so)");
        CLI::App* unregister = Add(m_root, "unregister", "Remove a plug-in monitor type",
                                   [&] { return UnregisterType(c, a.type); });
        Positional(unregister, "TYPE", a.type, "Monitor type");

        CLI::App* registry = m_root.add_subcommand("registry", "The registry stand-in");
        registry->require_subcommand(1);
        CLI::App* registrySet = Add(*registry, "set", "Write a text value, creating the key",
                                    [&] { return SetRegistryValue(c, a.key, a.name, a.data); });
        Positional(registrySet, "KEY", a.key, "Key path, e.g. HKLM\\SOFTWARE\\x");
        Positional(registrySet, "VALUE", a.name, "Value name (\"\" for the default value)");
        Positional(registrySet, "DATA", a.data, "Text");
        CLI::App* registryQuery =
            Add(*registry, "query", "Print a key's values and subkeys", [&, this] {
                std::optional<std::string> value;
                if (m_queryValue->count() > 0)
                    value = a.name;
                return QueryRegistry(c, a.key, value);
            });
        Positional(registryQuery, "KEY", a.key, "Key path");
        m_queryValue = registryQuery->add_option("VALUE", a.name, "Only this value's data");
        CLI::App* registryDelete = Add(
            *registry, "delete", "Delete a key with everything below it, or one value", [&, this] {
                std::optional<std::string> value;
                if (m_deleteValue->count() > 0)
                    value = a.name;
                return DeleteRegistry(c, a.key, value);
            });
        Positional(registryDelete, "KEY", a.key, "Key path");
        m_deleteValue =
            registryDelete->add_option("VALUE", a.name, "Only this value (\"\" for the default)");
    }

    // The command the parse selected; null when none ran (a group without its
    // subcommand is refused by the parse itself).
    const Command* Selected() const
    {
        for (const Command& command : m_commands) {
            if (command.app->parsed())
                return &command;
        }
        return nullptr;
    }

private:
    CLI::App* Add(CLI::App& parent, const char* name, const char* description,
                  std::function<Outcome()> run)
    {
        CLI::App* app = parent.add_subcommand(name, description);
        m_commands.push_back({app, std::move(run)});
        return app;
    }

    static void Positional(CLI::App* app, const char* name, std::string& target,
                           const char* description)
    {
        app->add_option(name, target, description)->required();
    }

    CLI::App& m_root;
    Arguments& m_args;
    Console& m_console;
    std::vector<Command> m_commands;
    CLI::Option* m_queryValue = nullptr;
    CLI::Option* m_deleteValue = nullptr;
};

// The length of the valid UTF-8 sequence at the start of `text`, or 0: no
// overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((at(i) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

bool IsUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

// Every argument is text for the service objects, which take UTF-8: other bytes
// would be replaced by U+FFFD on the way, changing a name or value unseen.
Result<void> CheckArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!IsUtf8(argv[i]))
            return BadInput("argument " + std::to_string(i) + " is not valid UTF-8");
    }
    return {};
}

bool IsOption(const std::string& word)
{
    return word.size() > 1 && word.front() == '-' && word != "--";
}

// CLI11 reports a word that names no command, and an option it does not know where
// a command is due, as a missing subcommand; an unknown option elsewhere among
// unexpected arguments. Say which word it was. (A dash word where a value is due
// stays "VALUE is required": the footer says to put -- before it.)
std::string ParseFailure(const CLI::App& root, const CLI::ParseError& error)
{
    std::vector<const CLI::App*> entered{&root}; // down to the innermost command parsed
    while (!entered.back()->get_subcommands().empty())
        entered.push_back(entered.back()->get_subcommands().front());
    const CLI::App* group = entered.back();
    const bool hasCommands = !group->get_subcommands([](const CLI::App*) { return true; }).empty();
    if (hasCommands || dynamic_cast<const CLI::ExtrasError*>(&error)) {
        for (const CLI::App* app : entered) {
            for (const std::string& word : app->remaining()) {
                if (IsOption(word))
                    return "unknown option \"" + word + "\"";
            }
        }
    }
    const std::vector<std::string> rest = group->remaining();
    if (hasCommands && !rest.empty() && !rest.front().empty() && rest.front().front() != '-')
        return "unknown command \"" + rest.front() + "\"";
    return error.what();
}

// Parses and runs the command; what it wrote is not yet known to have arrived.
int Run(int argc, char** argv, Console& console)
{
    CLI::App app{"Command-line front end of the Ospreon monitor service.", "wardenctl"};
    app.require_subcommand(1);
    app.footer(kFooter);
    Arguments args;
    CommandTable table(app, args, console);
    try {
        table.Build();
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(e, console.out, console.err); // --help
        return Report(console, BadInput(ParseFailure(app, e) + " (see `wardenctl --help`)"));
    }

    const Command* command = table.Selected();
    if (!command)
        return Report(console, BadInput("no command given (see `wardenctl --help`)"));
    try {
        Outcome outcome = command->run();
        if (!outcome)
            return Report(console, outcome.error());
        return *outcome;
    } catch (const std::exception& e) {
        return Report(console, Unavailable(std::string("unexpected failure: ") + e.what()));
    }
}

} // namespace

int RunCommandLine(int argc, char** argv, Console& console)
{
    if (Result<void> checked = CheckArguments(argc, argv); !checked)
        return Report(console, checked.error());
    const int status = Run(argc, argv, console);
    // Output that did not arrive (a full disk, a closed pipe) fails the command, even
    // when its work was done: a script must not take an empty file for the answer.
    errno = 0;
    console.out.flush();
    if (console.out)
        return status;
    const int error = errno;
    const int failed =
        Report(console, Unavailable(std::string("cannot write the output: ") +
                                    (error ? std::strerror(error) : "write failed")));
    return status != kExitDone ? status : failed;
}

} // namespace ospreon::ctl
