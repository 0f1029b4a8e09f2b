#include "tests/service/ctl/ctl_fixture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "service/store/database.h"

namespace ospreon::test {

namespace {

std::string Expand(std::string text)
{
    const char* home = std::getenv("OSPREON_HOME");
    const std::pair<std::string, std::string> names[] = {
        {"{home}", home ? home : ""},
        {"{build}", BuildDir().string()},
    };
    for (const auto& [name, value] : names) {
        for (std::size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + value.size()))
            text.replace(at, name.size(), value);
    }
    return text;
}

} // namespace

void RunSteps(const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        const CtlRun run = RunCtl(step.args);
        const std::string out = Expand(step.out);
        const std::string err = Expand(step.err);
        const bool errMatches = !err.empty() && err.back() == '*'
                                    ? run.err.rfind(err.substr(0, err.size() - 1), 0) == 0
                                    : run.err == err;
        EXPECT_EQ(run.status, step.status) << Describe(step.args, run);
        EXPECT_EQ(run.out, out) << Describe(step.args, run);
        EXPECT_TRUE(errMatches) << "expected stderr: " << err << "\n" << Describe(step.args, run);
        if (run.status != step.status || run.out != out || !errMatches)
            return;
    }
}

std::string MustRun(const std::vector<std::string>& args)
{
    const CtlRun run = RunCtl(args);
    EXPECT_EQ(run.status, 0) << Describe(args, run);
    return run.out;
}

std::filesystem::path TestwardenModule()
{
    return BuildDir() / "testmodules" / "Testwarden.so";
}

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void DamageStore(const std::filesystem::path& home, StoreDamage damage)
{
    const std::filesystem::path file = home / "wardenhost.db";
    if (damage == StoreDamage::kNoParameterTable) {
        Result<std::shared_ptr<store::Database>> db = store::Open(file);
        ASSERT_TRUE(db.ok()) << db.error().message;
        Result<void> dropped = (*db)->Execute("DROP TABLE params");
        ASSERT_TRUE(dropped.ok()) << dropped.error().message;
        return;
    }
    // No write-ahead log either, which could still hold the first page.
    for (const char* suffix : {"-wal", "-shm"})
        std::filesystem::remove(file.string() + suffix);
    if (damage == StoreDamage::kGarbage) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(8192, 'x');
        return;
    }
    // The page size is the big-endian 16-bit number at offset 16 of the header.
    std::fstream store(file, std::ios::binary | std::ios::in | std::ios::out);
    unsigned char size[2] = {};
    store.seekg(16);
    store.read(reinterpret_cast<char*>(size), 2);
    const std::size_t pageSize = size[0] << 8 | size[1];
    const std::size_t fileSize = std::filesystem::file_size(file);
    ASSERT_GE(pageSize, 512u);
    ASSERT_GT(fileSize, pageSize) << "the store has no page after the first";
    store.seekp(static_cast<std::streamoff>(pageSize));
    store << std::string(fileSize - pageSize, 'x');
}

void ServiceHomeTest::SetUp()
{
    const CtlRun setup = RunCtl({"setup"});
    ASSERT_EQ(setup.status, 0) << Describe({"setup"}, setup);
    const CtlRun registered = RunCtl({"register", TestwardenModule().string()});
    ASSERT_EQ(registered.status, 0) << Describe({"register"}, registered);
}

} // namespace ospreon::test
