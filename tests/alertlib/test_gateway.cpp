// SendNotify with a gateway URL: recipients and message URL-encoded into the first
// two "%s" in one pass, an HTTP GET to a stub on 127.0.0.1, 2xx is success.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alertlib/alertlib.h"
#include "tests/support/http_stub.h"
#include "tests/support/temp_home.h"

namespace {

using ospreon::test::HttpRequest;
using ospreon::test::HttpResponse;
using ospreon::test::HttpStub;
using ospreon::test::TempHome;
using ::testing::HasSubstr;

class GatewayTest : public ::testing::Test
{
protected:
    // The one request the stub saw; "" when it saw another number.
    std::string OnlyTarget() const
    {
        const std::vector<HttpRequest> requests = m_stub.requests();
        EXPECT_EQ(requests.size(), 1u);
        if (requests.size() != 1)
            return {};
        EXPECT_EQ(requests[0].method, "GET");
        return requests[0].target;
    }

    TempHome m_home;
    HttpStub m_stub;
};

TEST_F(GatewayTest, RecipientsAndMessageAreEncodedIntoTheUrl)
{
    const std::string mode = m_stub.BaseUrl() + "/send?to=%s&msg=%s";
    const char* message = "disk %s at 95% %n & more ü/ok~";
    ASSERT_EQ(SendNotify(mode.c_str(), "123;456", message), 1) << LastAlertError();
    EXPECT_STREQ(LastAlertError(), "");
    EXPECT_EQ(OnlyTarget(), "/send?to=123%3B456&msg=disk%20%25s%20at%2095%25%20%25n%20%26%20more%20"
                            "%C3%BC%2Fok~");
}

TEST_F(GatewayTest, OnlyTheFirstTwoPlaceholdersAreFilled)
{
    struct Case
    {
        const char* pathAndQuery;
        const char* recipients;
        const char* message;
        const char* target;
    };
    const Case cases[] = {
        {"/p?a=%s&b=%s&c=%s", "r", "m", "/p?a=r&b=m&c=%s"},
        {"/p?a=%s", "r", "m", "/p?a=r"},
        {"/p?fixed=1", "r", "m", "/p?fixed=1"},
        {"/p?a=%s&b=%s", "%s", "%s%s", "/p?a=%25s&b=%25s%25s"},
        {"/p?a=%s&b=%s", nullptr, nullptr, "/p?a=&b="},
        {"/%s/%s", "a b", "c", "/a%20b/c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pathAndQuery);
        HttpStub stub;
        const std::string mode = stub.BaseUrl() + c.pathAndQuery;
        ASSERT_EQ(SendNotify(mode.c_str(), c.recipients, c.message), 1) << LastAlertError();
        const std::vector<HttpRequest> requests = stub.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].target, c.target);
    }
}

TEST_F(GatewayTest, SchemeIsCaseInsensitive)
{
    const std::string mode = "HTTP://127.0.0.1:" + std::to_string(m_stub.port()) + "/p?m=%s";
    EXPECT_EQ(SendNotify(mode.c_str(), "r", "m"), 1) << LastAlertError();
    EXPECT_EQ(OnlyTarget(), "/p?m=r");
}

TEST_F(GatewayTest, OnlyTwoHundredsAreSuccess)
{
    struct Case
    {
        int status;
        int result;
    };
    const std::string mode = m_stub.BaseUrl() + "/send?to=%s&msg=%s";
    for (const Case c :
         {Case{200, 1}, Case{204, 1}, Case{299, 1}, Case{404, 0}, Case{500, 0}, Case{503, 0}}) {
        SCOPED_TRACE(c.status);
        m_stub.SetStatus(c.status);
        EXPECT_EQ(SendNotify(mode.c_str(), "123", "msg"), c.result);
        if (c.result == 0)
            EXPECT_THAT(LastAlertError(), HasSubstr("HTTP " + std::to_string(c.status)));
        else
            EXPECT_STREQ(LastAlertError(), "");
    }
}

TEST_F(GatewayTest, RedirectsAreFollowedAtMostFiveTimes)
{
    HttpStub target;
    m_stub.SetResponse(HttpResponse{302, {}, {{"Location", target.BaseUrl() + "/landed"}}});
    EXPECT_EQ(SendNotify((m_stub.BaseUrl() + "/start?m=%s").c_str(), "r", "m"), 1)
        << LastAlertError();
    ASSERT_EQ(target.requests().size(), 1u);
    EXPECT_EQ(target.requests()[0].target, "/landed");

    // A gateway that redirects to itself forever.
    HttpStub loop;
    loop.SetResponse(HttpResponse{302, {}, {{"Location", loop.BaseUrl() + "/again"}}});
    EXPECT_EQ(SendNotify((loop.BaseUrl() + "/again").c_str(), "r", "m"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("redirect"));
    EXPECT_EQ(loop.requests().size(), 6u);
}

TEST_F(GatewayTest, GatewayNotListeningFailsWithCurlsReason)
{
    const std::string mode =
        "http://127.0.0.1:" + std::to_string(ospreon::test::UnusedLoopbackPort()) + "/s?m=%s";
    EXPECT_EQ(SendNotify(mode.c_str(), "r", "m"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("Couldn't connect to server"));
}

} // namespace
