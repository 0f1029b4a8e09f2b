#pragma once
// What the wardenctl suites share: scripted steps with their exact expected outcome,
// and a temporary OSPREON_HOME that `wardenctl setup` prepared and in which the
// test plug-in is registered.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/service/ctl/ctl_runner.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {

// One wardenctl run and what it must give. In `out` and `err`, "{home}" stands for
// the OSPREON_HOME folder and "{build}" for the build folder; an `err` ending in
// "*" is matched as a prefix (for messages that end in a service HRESULT).
struct Step
{
    std::vector<std::string> args;
    int status = 0;
    std::string out;
    std::string err;
};

// Runs the steps in order, each checked; stops at the first step that fails.
void RunSteps(const std::vector<Step>& steps);

// Runs and requires exit status 0; the standard output.
std::string MustRun(const std::vector<std::string>& args);

std::filesystem::path TestwardenModule();

// The whole text of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& file);

// Ways to make the store of a prepared home unusable, as a disk fault or another
// program might: kNoParameterTable leaves a store that opens and counts its records
// but cannot read their values; kGarbagePages keeps the first page (the header and
// the schema) and overwrites every later page, so the file opens as a database whose
// tables are damaged; kGarbage leaves a file that is no database at all.
enum class StoreDamage
{
    kNoParameterTable,
    kGarbagePages,
    kGarbage,
};
void DamageStore(const std::filesystem::path& home, StoreDamage damage);

// A TempHome after `wardenctl setup` and `wardenctl register <Testwarden.so>`.
class ServiceHomeTest : public ::testing::Test
{
protected:
    void SetUp() override;

    const std::filesystem::path& home() const { return m_home.path(); }

private:
    TempHome m_home;
};

} // namespace ospreon::test
