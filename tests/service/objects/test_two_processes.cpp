// Two processes on one store: a live record sees the other's writes at its next
// get, simultaneous writers lose nothing, and a record removed by the other process
// stays removed. The second process is store_peer, started fresh (exec), so it
// shares nothing with this one but the files.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <set>

#include "interfaces/service_errors.h"
#include "tests/service/objects/service_fixture.h"

extern char** environ;

namespace ospreon::test {
namespace {

struct Peer
{
    pid_t pid = -1;
    std::filesystem::path output;
};

class TwoProcesses : public ServiceTest
{
protected:
    Peer Start(const std::vector<std::string>& args)
    {
        Peer peer;
        peer.output = home.path() / ("peer-" + std::to_string(m_started++) + ".out");
        std::vector<std::string> all{STORE_PEER};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, peer.output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_EQ(::posix_spawn(&peer.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return peer;
    }

    // The peer's exit status; its output in `output`.
    int Wait(const Peer& peer, std::string* output = nullptr)
    {
        int status = 0;
        EXPECT_EQ(::waitpid(peer.pid, &status, 0), peer.pid);
        if (output)
            *output = ReadFile(peer.output);
        EXPECT_TRUE(WIFEXITED(status)) << "the peer ended by signal " << WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int RunPeer(const std::vector<std::string>& args, std::string* output = nullptr)
    {
        return Wait(Start(args), output);
    }

private:
    int m_started = 0;
};

TEST_F(TwoProcesses, EachSeesTheOthersPutAtItsNextGet)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of shared", &record), S_OK);
    EXPECT_EQ(ValueOf(record.get(), "Status"), "Disable");

    ASSERT_EQ(RunPeer({"put", "pagewarden of SHARED", "Status", "Enable"}), 0);
    EXPECT_EQ(ValueOf(record.get(), "Status"), "Enable");

    ASSERT_EQ(PutValue(record.get(), "Monitor_Result", "Error"), S_OK);
    std::string seen;
    ASSERT_EQ(RunPeer({"get", "Pagewarden of shared", "Monitor_Result"}, &seen), 0);
    EXPECT_EQ(seen, "Error");
}

TEST_F(TwoProcesses, SimultaneousWritersLoseNothing)
{
    constexpr int kAppends = 120;
    constexpr int kOverwrites = 30;
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of busy", &record), S_OK);

    const std::vector<Peer> peers = {
        Start({"append", "Pagewarden of busy", "A", std::to_string(kAppends)}),
        Start({"append", "Pagewarden of busy", "B", std::to_string(kAppends)}),
        Start({"overwrite", "Pagewarden of busy", "Shared", "x", std::to_string(kOverwrites)}),
        Start({"overwrite", "Pagewarden of busy", "Shared", "y", std::to_string(kOverwrites)}),
    };
    for (const Peer& peer : peers) {
        std::string output;
        EXPECT_EQ(Wait(peer, &output), 0) << output;
    }

    // Every append of both writers is there once, each writer's in its own order,
    // at positions 0..n-1 without a gap.
    const Entries entries = EntriesOf(record.get());
    ASSERT_EQ(entries.size(), 2u + 2 * kAppends);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"Status", "Disable"}));
    std::set<std::string> keys;
    int nextA = 0, nextB = 0;
    for (const auto& [key, value] : entries) {
        keys.insert(key);
        if (key == "Status" || key == "Shared")
            continue;
        EXPECT_EQ(value, key + "-value");
        int& next = key[0] == 'A' ? nextA : nextB;
        EXPECT_EQ(key.substr(1), std::to_string(next)) << "appends keep their order";
        ++next;
    }
    EXPECT_EQ(keys.size(), entries.size());
    EXPECT_EQ(nextA, kAppends);
    EXPECT_EQ(nextB, kAppends);

    // The last writer's value, whole.
    const std::optional<std::string> shared = ValueOf(record.get(), "Shared");
    ASSERT_TRUE(shared);
    const std::size_t mark = shared->find('#');
    ASSERT_EQ(mark, 64u * 1024);
    EXPECT_EQ(shared->find_first_not_of((*shared)[0]), mark);
    EXPECT_TRUE((*shared)[0] == 'x' || (*shared)[0] == 'y');
    EXPECT_EQ(shared->substr(mark + 1), std::to_string(kOverwrites - 1));
}

TEST_F(TwoProcesses, PutAfterTheOtherRemovedTheRecordFails)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Testwarden of removed", &record), S_OK);
    ASSERT_EQ(RunPeer({"remove", "Testwarden of removed"}), 0);

    EXPECT_EQ(PutValue(record.get(), "Status", "Enable"), WARDEN_E_RECORDGONE);
    HRESULT hr = S_OK;
    EXPECT_EQ(ValueOf(record.get(), "Status", &hr), std::nullopt);
    EXPECT_EQ(hr, WARDEN_E_RECORDGONE);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Open("Testwarden of removed"), WARDEN_E_NORECORD);
    EXPECT_EQ(RunPeer({"get", "Testwarden of removed", "Status"}), 2) << "not recreated";
}

} // namespace
} // namespace ospreon::test
