#include "tests/support/http_stub.h"

#include <charconv>
#include <optional>
#include <strings.h>

namespace ospreon::test {

namespace {

constexpr std::chrono::seconds kReadTimeout{5};

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string FormatResponse(const HttpResponse& response)
{
    std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       ReasonPhrase(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers)
        text += name + ": " + value + "\r\n";
    // A 204 or 304 answer has no body, and says nothing of its length.
    const bool bodyless = response.status == 204 || response.status == 304;
    if (!bodyless)
        text += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    text += "Connection: close\r\n\r\n";
    if (!bodyless)
        text += response.body;
    return text;
}

} // namespace

HttpStub::HttpStub() : m_server([this](LineConnection& connection) { Serve(connection); }) {}

std::string HttpStub::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(port());
}

void HttpStub::SetResponse(HttpResponse response)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_response = std::move(response);
}

std::vector<HttpRequest> HttpStub::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

bool HttpStub::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

void HttpStub::Serve(LineConnection& connection)
{
    std::optional<std::string> requestLine = connection.ReadLine(kReadTimeout);
    if (!requestLine)
        return;
    HttpRequest request;
    const std::size_t firstSpace = requestLine->find(' ');
    const std::size_t lastSpace = requestLine->rfind(' ');
    if (firstSpace == std::string::npos || lastSpace == firstSpace)
        return;
    request.method = requestLine->substr(0, firstSpace);
    request.target = requestLine->substr(firstSpace + 1, lastSpace - firstSpace - 1);

    std::size_t contentLength = 0;
    for (;;) {
        std::optional<std::string> line = connection.ReadLine(kReadTimeout);
        if (!line)
            return;
        if (line->empty())
            break;
        const std::size_t colon = line->find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line->substr(0, colon);
        std::string value = Trimmed(line->substr(colon + 1));
        if (::strcasecmp(name.c_str(), "Content-Length") == 0)
            std::from_chars(value.data(), value.data() + value.size(), contentLength);
        request.headers.emplace_back(std::move(name), std::move(value));
    }
    if (contentLength > 0) {
        std::optional<std::string> body = connection.ReadBytes(contentLength, kReadTimeout);
        if (!body)
            return;
        request.body = std::move(*body);
    }

    HttpResponse response;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(std::move(request));
        response = m_response;
    }
    m_changed.notify_all();
    connection.Send(FormatResponse(response));
}

} // namespace ospreon::test
