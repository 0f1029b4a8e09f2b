// FetchPage against servers started on 127.0.0.1: what it sends, how it reads the
// body, and the error text of each failing step.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/http_stub.h"
#include "tests/support/scoped_env.h"
#include "tests/support/tls_http_server.h"
#include "tests/web/scripted_http_server.h"
#include "web/fetch_page.h"

namespace ospreon::web {
namespace {

using namespace std::chrono_literals;
using test::Reply;
using test::ReplyWrite;
using test::ScriptedHttpServer;
using test::Whole;

constexpr unsigned kTimeoutMs = 3000;

struct Fetched
{
    std::string error;
    std::string body = "(before)";
    unsigned size = 12345;
};

Fetched Fetch(const std::string& url, const std::string& proxy = "",
              const std::string& proxyUser = "", const std::string& proxyPassword = "",
              const std::string& siteUser = "", const std::string& sitePassword = "",
              unsigned timeoutMs = kTimeoutMs)
{
    Fetched fetched;
    fetched.body.clear();
    fetched.size = 0;
    fetched.error = FetchPage(url, proxy, proxyUser, proxyPassword, fetched.body, timeoutMs,
                              siteUser, sitePassword, fetched.size);
    return fetched;
}

std::string Base64(const std::string& text)
{
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8) |
                           static_cast<unsigned char>(text[i + 2]);
        for (int shift : {18, 12, 6, 0})
            out += kDigits[(v >> shift) & 63];
    }
    if (const std::size_t rest = text.size() - i; rest > 0) {
        unsigned v = static_cast<unsigned char>(text[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(text[i + 1]) << 8;
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(FetchPage, ReadsA404PageAsTheBodyWithTheRequestAsAgreed)
{
    ScriptedHttpServer server(
        {Whole("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\n"
               "not found")});
    const Fetched fetched = Fetch(server.Url("/missing?x=1#part"));
    EXPECT_EQ(fetched.error, "");
    EXPECT_EQ(fetched.body, "not found");
    EXPECT_EQ(fetched.size, 9u);
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string head = server.requests()[0];
    EXPECT_TRUE(head.starts_with("GET /missing?x=1 HTTP/1.0\n")) << head;
    EXPECT_TRUE(Contains(head, "User-Agent: VeriRovi\n")) << head;
    EXPECT_TRUE(Contains(head, "Accept: */*\n")) << head;
    EXPECT_TRUE(Contains(head, "Pragma: no-cache\n")) << head;
    EXPECT_FALSE(Contains(head, "Referer")) << head;
}

TEST(FetchPage, AppendsEachFiftyBytePieceUpToItsFirstZeroWhateverTheWrites)
{
    // 130 bytes: zeros at 10 (first piece), 75 and 76 (second), none in the third.
    std::string page;
    for (int i = 0; i < 130; ++i)
        page += static_cast<char>('a' + i % 26);
    page[10] = '\0';
    page[75] = '\0';
    page[76] = '\0';
    const std::string expected = page.substr(0, 10) + page.substr(50, 25) + page.substr(100, 30);
    const std::string head =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n";

    for (std::size_t writeSize : {1u, 7u, 49u, 51u, 130u}) {
        Reply reply{{head, 5ms}};
        for (std::size_t at = 0; at < page.size(); at += writeSize)
            reply.push_back(ReplyWrite{page.substr(at, writeSize), 1ms});
        ScriptedHttpServer server({reply});
        const Fetched fetched = Fetch(server.Url("/zero"));
        SCOPED_TRACE("writes of " + std::to_string(writeSize));
        EXPECT_EQ(fetched.error, "");
        EXPECT_EQ(fetched.body, expected);
        EXPECT_EQ(fetched.size, 130u);
    }
}

TEST(FetchPage, ReturnsARedirectsOwnBodyWithoutFollowingIt)
{
    ScriptedHttpServer server(
        {Whole("HTTP/1.0 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved"),
         Whole("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nelsewhere")});
    const Fetched fetched = Fetch(server.Url("/old"));
    EXPECT_EQ(fetched.error, "");
    EXPECT_EQ(fetched.body, "moved");
    EXPECT_EQ(fetched.size, 5u);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(FetchPage, RefusesAUrlItCannotSplitAndLeavesBodyAndSize)
{
    for (const char* url :
         {"www.example.com/index.html", "", "http://", "ftp://127.0.0.1/file", "http://[bad/"}) {
        std::string body = "kept";
        unsigned size = 7;
        EXPECT_EQ(FetchPage(url, "", "", "", body, kTimeoutMs, "", "", size), " Parse URL Error")
            << url;
        EXPECT_EQ(body, "kept");
        EXPECT_EQ(size, 7u);
    }
}

TEST(FetchPage, FetchesHttpsOnTheFixedPortAcceptingAForeignExpiredCertificate)
{
    test::TlsHttpServer server("secret page");
    test::ScopedEnv port(kHttpsPortVariable, std::to_string(server.port()));
    const Fetched fetched = Fetch("https://127.0.0.1:8443/secure");
    EXPECT_EQ(fetched.error, "");
    EXPECT_EQ(fetched.body, "secret page");
    EXPECT_EQ(fetched.size, 11u);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(server.requests()[0].starts_with("GET /secure HTTP/1.0\r\n"));
}

TEST(FetchPage, AProxyAskingTwiceForCredentialsIsAnAuthorizationError)
{
    ScriptedHttpServer proxy(
        {Whole("HTTP/1.0 407 Proxy Authentication Required\r\n"
               "Proxy-Authenticate: Basic realm=\"proxy\"\r\nContent-Length: 6\r\n\r\ndenied")});
    std::string body = "kept";
    unsigned size = 7;
    const std::string error = FetchPage("http://site.example/page", proxy.Url(""), "puser", "ppass",
                                        body, kTimeoutMs, "suser", "spass", size);
    EXPECT_EQ(error, "Authorize proxy error,code=0x43");
    EXPECT_EQ(body, "kept");
    EXPECT_EQ(size, 7u);
    const std::vector<std::string> requests = proxy.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_TRUE(requests[0].starts_with("GET http://site.example/page HTTP/1.0\n"));
    EXPECT_FALSE(Contains(requests[0], "Authorization"));
    const std::string& answered = requests.back();
    EXPECT_TRUE(Contains(answered, "Proxy-Authorization: Basic " + Base64("puser:ppass")))
        << answered;
    EXPECT_FALSE(Contains(answered, "\nAuthorization")) << answered;
}

TEST(FetchPage, AnswersASitesChallengeWithTheSiteCredentialsOnlyCutTo49)
{
    ScriptedHttpServer proxy(
        {Whole("HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"site\"\r\n"
               "Content-Length: 6\r\n\r\ndenied"),
         Whole("HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\nwelcome")});
    const std::string longPassword(60, 'p');
    const Fetched fetched = Fetch("http://site.example/members", proxy.Url(""), "puser", "ppass",
                                  "suser", longPassword);
    EXPECT_EQ(fetched.error, "");
    EXPECT_EQ(fetched.body, "welcome");
    EXPECT_EQ(fetched.size, 7u);
    const std::vector<std::string> requests = proxy.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_TRUE(Contains(requests.back(),
                         "Authorization: Basic " + Base64("suser:" + longPassword.substr(0, 49))))
        << requests.back();
    for (const std::string& request : requests) {
        EXPECT_FALSE(Contains(request, "Proxy-Authorization")) << request;
        EXPECT_FALSE(Contains(request, Base64("puser:ppass"))) << request;
    }
}

TEST(FetchPage, NamesTheFailingStepWithLibcurlsCode)
{
    ScriptedHttpServer silent({Reply{ReplyWrite{"", 2000ms}}});
    ScriptedHttpServer stalling({Reply{
        ReplyWrite{"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n", 0ms},
        ReplyWrite{std::string(30, 'x'), 2500ms},
    }});
    ScriptedHttpServer garbled({Whole("this is not HTTP\r\n\r\n")});
    struct Case
    {
        const char* name;
        std::string url;
        std::string error;
        std::string body;
        unsigned size;
    };
    const Case cases[] = {
        {"refused", "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/",
         "HttpSendRequest function error,code=0x7", "", 0},
        {"no answer in time", silent.Url("/"), "HttpSendRequest function error,code=0x1c", "", 0},
        {"no status line", garbled.Url("/"), "HttpQueryInfo function error,code=0x1", "", 0},
        {"body stalls", stalling.Url("/"), "InternetReadFile body error,code=0x1c",
         std::string(30, 'x'), 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Fetched fetched = Fetch(c.url, "", "", "", "", "", 300);
        EXPECT_EQ(fetched.error, c.error);
        EXPECT_EQ(fetched.body, c.body);
        EXPECT_EQ(fetched.size, c.size);
    }
}

TEST(FetchPage, ReadsABodyLargerThanAMegabyte)
{
    std::string page;
    page.reserve(1536 * 1024);
    for (std::size_t i = 0; page.size() < 1536 * 1024; ++i)
        page += "line " + std::to_string(i) + "\n";
    test::HttpStub server;
    server.SetResponse(test::HttpResponse{200, page, {}});
    const Fetched fetched = Fetch(server.BaseUrl() + "/big");
    EXPECT_EQ(fetched.error, "");
    EXPECT_EQ(fetched.size, page.size());
    EXPECT_TRUE(fetched.body == page);
}

} // namespace
} // namespace ospreon::web
