#include "alertlib/pager.h"

#include <chrono>
#include <optional>

#include <signal.h>
#include <sys/wait.h>

#include "alertlib/text_util.h"
#include "platform/os/host.h"
#include "platform/os/launcher.h"
#include "platform/registry/registry.h"

namespace ospreon::alert {

namespace {

constexpr char kAlertlibKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Alertlib";
constexpr char kPagerCommandValue[] = "PagerCommand";
constexpr std::chrono::seconds kGatewayTimeout{10};

Result<std::vector<std::string>> PagerCommand()
{
    const Error missing = Error::Plain(std::string("no pager gateway configured (HKLM\\") +
                                       kAlertlibKey + "\\" + kPagerCommandValue + ")");
    registry::Key key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kAlertlibKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return missing;
    std::string commandLine;
    if (registry::GetString(key.get(), kPagerCommandValue, commandLine) != ERROR_SUCCESS)
        return missing;
    std::vector<std::string> command = os::SplitCommandLine(commandLine);
    if (command.empty())
        return missing;
    return command;
}

Result<void> SendPage(std::vector<std::string> command, const Page& page)
{
    const std::string gateway = command.front();
    const std::string failed = "page to " + page.number + " failed: ";
    // Number and text are arguments of their own, never part of a command line.
    command.push_back(page.number);
    command.push_back(page.message);
    auto child = os::Spawn(command);
    if (!child)
        return child.error().Prefixed(failed);
    const std::optional<int> status = child->WaitFor(kGatewayTimeout);
    if (!status) {
        // The gateway runs in a session of its own: end it with whatever it started.
        ::kill(-child->pid(), SIGKILL);
        ::kill(child->pid(), SIGKILL);
        (void)child->Wait();
        return Error::Plain(failed + "pager gateway '" + gateway + "' did not end within " +
                            std::to_string(kGatewayTimeout.count()) + " s and was killed");
    }
    if (WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        return {};
    return Error::Plain(failed + "pager gateway '" + gateway + "' " +
                        os::DescribeWaitStatus(*status));
}

} // namespace

std::vector<Page> ParsePages(std::string_view recipients, const std::string& defaultMessage)
{
    std::vector<Page> pages;
    for (const std::string& entry : SplitList(recipients, ";")) {
        const std::size_t bar = entry.find('|');
        Page page{std::string(Trim(std::string_view(entry).substr(0, bar))), defaultMessage};
        if (bar != std::string::npos && bar + 1 < entry.size())
            page.message = entry.substr(bar + 1);
        pages.push_back(std::move(page));
    }
    return pages;
}

Result<void> SendPages(std::string_view recipients, std::string_view message)
{
    const std::string defaultMessage =
        message.empty() ? "Ospreon alert from " + os::LocalHostName() : std::string(message);
    const std::vector<Page> pages = ParsePages(recipients, defaultMessage);
    if (pages.empty())
        return Error::Plain("no pager number given");
    Result<std::vector<std::string>> command = PagerCommand();
    if (!command)
        return command.error();

    std::optional<Error> firstFailure;
    for (const Page& page : pages) {
        Result<void> sent = page.number.empty()
                                ? Result<void>(Error::Plain("page failed: no number in an entry"))
                                : SendPage(*command, page);
        if (!sent && !firstFailure)
            firstFailure = sent.error();
    }
    if (firstFailure)
        return *firstFailure;
    return {};
}

} // namespace ospreon::alert
