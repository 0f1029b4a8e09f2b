#include "tests/web/scripted_http_server.h"

#include <algorithm>
#include <thread>

namespace ospreon::test {

namespace {

constexpr std::chrono::seconds kReadTimeout{5};

} // namespace

ScriptedHttpServer::ScriptedHttpServer(std::vector<Reply> replies)
    : m_replies(std::move(replies)),
      m_server([this](LineConnection& connection) { Serve(connection); })
{}

std::string ScriptedHttpServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port()) + path;
}

std::vector<std::string> ScriptedHttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void ScriptedHttpServer::Serve(LineConnection& connection)
{
    std::string head;
    for (;;) {
        std::optional<std::string> line = connection.ReadLine(kReadTimeout);
        if (!line)
            return;
        if (line->empty())
            break;
        head += *line + "\n";
    }
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        index = std::min(m_requests.size(), m_replies.size() - 1);
        m_requests.push_back(std::move(head));
    }
    for (const ReplyWrite& write : m_replies[index]) {
        if (!connection.Send(write.bytes))
            return;
        std::this_thread::sleep_for(write.pauseAfter);
    }
}

Reply Whole(std::string response)
{
    return {ReplyWrite{std::move(response), {}}};
}

} // namespace ospreon::test
