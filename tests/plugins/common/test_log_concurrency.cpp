// Log lines from several processes and threads land whole, and the system-wide
// lock "LogFileMetux" is waited for at most about 200 ms.

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/os/named_lock.h"
#include "plugins/common/plugin_log.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {
namespace {

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 1250; // 4 threads x 2 processes x 1250 = 10,000 lines

// Line i of writer w: "w<writer> <i> " and a body of one letter, every tenth line
// filling the message up to its 4095-character limit.
void WriteLines(int writer)
{
    for (int i = 0; i < kLinesPerThread; ++i) {
        const std::string head = "w" + std::to_string(writer) + " " + std::to_string(i) + " ";
        const std::size_t bodyLength = i % 10 == 0 ? 4095 - head.size() : 40;
        const std::string body(bodyLength, static_cast<char>('a' + writer));
        plugin::WriteLog("%s%s", head.c_str(), body.c_str());
    }
}

void RunWriters(int firstWriter)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(WriteLines, firstWriter + t);
    for (std::thread& thread : threads)
        thread.join();
}

TEST(LogConcurrency, TwoProcessesWithFourThreadsLoseAndInterleaveNothing)
{
    TempHome home;
    const std::string log = (home.path() / "shared.log").string();
    plugin::SetLogFile(log);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunWriters(kThreads);
        ::_exit(0);
    }
    RunWriters(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::ifstream file(log, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const std::string text = content.str();
    std::map<int, std::vector<bool>> seen;
    std::size_t lines = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        ++lines;
        const std::size_t gap = line.find("   ");
        ASSERT_NE(gap, std::string::npos) << "a line without its prefix";
        std::istringstream fields(line.substr(gap + 3));
        std::string writerField;
        int index = -1;
        std::string body;
        fields >> writerField >> index >> body;
        const int writer = std::stoi(writerField.substr(1));
        ASSERT_TRUE(index >= 0 && index < kLinesPerThread) << line.substr(0, 80);
        const std::size_t bodyLength =
            index % 10 == 0 ? 4095 - (writerField.size() + 1 + std::to_string(index).size() + 1)
                            : 40;
        ASSERT_EQ(body, std::string(bodyLength, static_cast<char>('a' + writer)))
            << "line " << lines << " was broken or mixed with another";
        auto& marks = seen[writer];
        marks.resize(kLinesPerThread);
        ASSERT_FALSE(marks[index]) << "line written twice";
        marks[index] = true;
    }
    EXPECT_EQ(start, text.size()) << "the file ends with a whole line";
    EXPECT_EQ(lines, std::size_t{2 * kThreads * kLinesPerThread});
    EXPECT_EQ(seen.size(), std::size_t{2 * kThreads});
}

TEST(LogConcurrency, AHeldLockDelaysALineButDoesNotDropIt)
{
    TempHome home;
    const std::string log = (home.path() / "held.log").string();
    plugin::SetLogFile(log);

    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        auto lock = os::NamedLock::Acquire("LogFileMetux", std::chrono::milliseconds(1000));
        char byte = lock ? 'y' : 'n';
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(release[0], &byte, 1);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    const auto begin = std::chrono::steady_clock::now();
    plugin::WriteLog("written while the lock is held\n");
    const auto waited = std::chrono::steady_clock::now() - begin;
    (void)!::write(release[1], "x", 1);
    ::waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);

    // About 200 ms: at least most of it, and nowhere near a second.
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    std::ifstream file(log);
    std::string line;
    std::getline(file, line);
    EXPECT_NE(line.find("written while the lock is held"), std::string::npos);
}

} // namespace
} // namespace ospreon::test
