#include "plugins/mailboxwarden/mailboxwarden_check.h"

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "alertlib/curl_transfer.h"
#include "alertlib/server_address.h"
#include "alertlib/text_util.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"
#include "plugins/common/time_budget.h"

namespace ospreon::mailboxwarden {

namespace {

using Clock = std::chrono::steady_clock;
using plugin::ParamTexts;
using plugin::ReadTexts;
using plugin::WriteLog;

constexpr int kPop3Port = 110;

// The message count of a STAT reply "+OK count size"; nullopt for anything else.
std::optional<unsigned long> MessageCount(std::string_view reply)
{
    if (!reply.starts_with("+OK "))
        return std::nullopt;
    reply.remove_prefix(4);
    unsigned long count = 0;
    const auto [end, ec] = std::from_chars(reply.data(), reply.data() + reply.size(), count);
    if (ec != std::errc() || end == reply.data())
        return std::nullopt;
    return count;
}

// Counts the header bytes TOP returns; they are not kept.
size_t CountBytes(char*, size_t size, size_t count, void* total)
{
    *static_cast<std::size_t*>(total) += size * count;
    return size * count;
}

// What the server answered to which command, for the log line.
std::string Conversation(const alert::CurlTransfer& transfer)
{
    const std::string exchange = transfer.DescribeExchange("+OK");
    return exchange.empty() ? std::string() : "; " + exchange;
}

// One failed check, one line: the account, the server, and why.
HRESULT Fail(const std::string& account, const std::string& server, const std::string& reason,
             const alert::CurlTransfer& transfer)
{
    std::string line = reason;
    if (const std::optional<std::string> problem = transfer.CertificateProblem())
        line += "; the certificate did not verify: " + *problem;
    WriteLog("Mailboxwarden check of %s at %s failed: %s\n", account.c_str(), server.c_str(),
             line.c_str());
    return E_FAIL;
}

} // namespace

HRESULT MailboxwardenCheck::Monitor(IUser* user)
{
    const Clock::time_point start = Clock::now();
    const ParamTexts settings =
        ReadTexts(user, {"Monitor_Parameter", "MonitorExt_PopAccount", "MonitorExt_PopPass"});
    if (!settings.read) {
        WriteLog("Mailboxwarden check failed: the monitor's settings cannot be read\n");
        return E_FAIL;
    }
    if (FAILED(settings.hr))
        return settings.hr;
    const std::string& server = settings.texts[0];
    const std::string& password = settings.texts[2];
    Result<alert::ServerAddress> address = alert::ParseServerAddress(server, kPop3Port);
    if (!address) {
        WriteLog("Mailboxwarden check failed: %s in \"%s\"\n", address.error().message.c_str(),
                 server.c_str());
        return E_FAIL;
    }
    const std::string target = address->Text();
    const std::string name(alert::Trim(settings.texts[1]));
    if (name.empty() || alert::HasLineBreak(name) || alert::HasLineBreak(password)) {
        WriteLog("Mailboxwarden check at %s failed: the account must be one line and not "
                 "empty, and so must the password\n",
                 target.c_str());
        return E_FAIL;
    }
    const std::chrono::milliseconds budget = plugin::CheckTimeBudget(user);

    // One connection for both steps: STAT logs in, TOP reuses the session.
    alert::CurlTransfer transfer;
    const std::string url = "pop3://" + target + "/";
    transfer.Set(CURLOPT_URL, url.c_str());
    transfer.Set(CURLOPT_PROTOCOLS_STR, "pop3");
    transfer.Set(CURLOPT_USERNAME, name.c_str());
    transfer.Set(CURLOPT_PASSWORD, password.c_str());
    transfer.Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    transfer.TolerateCertificates();
    transfer.TraceConversation();
    transfer.SetTimeBudget(budget);
    transfer.Set(CURLOPT_CUSTOMREQUEST, "STAT");
    transfer.Set(CURLOPT_NOBODY, 1L);
    if (Result<void> stat = transfer.Perform("POP3 login and STAT"); !stat)
        return Fail(name, target, stat.error().message + Conversation(transfer), transfer);
    const std::optional<unsigned long> count = MessageCount(transfer.LastReply());
    if (!count)
        return Fail(name, target, "STAT gave no message count" + Conversation(transfer), transfer);
    if (*count == 0) {
        return Fail(name, target,
                    "retrieval could not be verified because the mailbox holds no message",
                    transfer);
    }

    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const std::string top = "TOP " + std::to_string(*count) + " 0";
    std::size_t headerBytes = 0;
    transfer.SetTimeBudget(budget - spent);
    transfer.Set(CURLOPT_CUSTOMREQUEST, top.c_str());
    transfer.Set(CURLOPT_NOBODY, 0L);
    transfer.Set(CURLOPT_WRITEFUNCTION, &CountBytes);
    transfer.Set(CURLOPT_WRITEDATA, &headerBytes);
    if (Result<void> headers = transfer.Perform("POP3 " + top); !headers)
        return Fail(name, target, headers.error().message + Conversation(transfer), transfer);
    if (headerBytes == 0)
        return Fail(name, target, top + " returned no headers", transfer);
    return S_OK;
}

} // namespace ospreon::mailboxwarden
