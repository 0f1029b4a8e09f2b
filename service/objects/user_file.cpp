// Import and export of monitor files; the format is described in monitor_file.h.

#include "service/objects/user_file.h"

#include <cerrno>
#include <filesystem>
#include <optional>

#include <sys/stat.h>

#include "interfaces/service_errors.h"
#include "platform/os/file_io.h"
#include "platform/os/paths.h"
#include "service/objects/com_support.h"
#include "service/objects/file_errors.h"
#include "service/objects/monitor_file.h"
#include "service/objects/monitor_types.h"
#include "service/store/database.h"
#include "service/store/record_table.h"

namespace ospreon::service {

namespace {

// Far above any real monitor file; keeps a wrong path from filling memory.
constexpr std::size_t kMaxFileSize = 256u << 20;

std::string ImportSummaryText(std::size_t applied, const std::vector<std::string>& skipped)
{
    std::string text = std::to_string(applied) + (applied == 1 ? " record" : " records") +
                       " imported, " + std::to_string(skipped.size()) + " skipped";
    if (skipped.empty())
        return text;
    text += " (type not registered):";
    for (std::size_t i = 0; i < skipped.size(); ++i)
        text += (i ? ", " : " ") + skipped[i];
    return text;
}

// The file `path` names once its symbolic links are followed; it need not exist.
Result<std::filesystem::path> FollowLinks(std::filesystem::path path)
{
    constexpr int kMaxLinks = 40; // as the kernel's own limit
    for (int links = 0; links < kMaxLinks; ++links) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(path, ec))
            return path;
        std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec)
            return Error::Errno(ec.value(),
                                "cannot read the link " + path.string() + ": " + ec.message());
        path = target.is_absolute() ? std::move(target) : path.parent_path() / target;
    }
    return Error::Errno(ELOOP, path.string() + ": too many levels of symbolic links");
}

std::optional<struct stat> StatOf(const std::filesystem::path& path)
{
    struct stat info
    {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return info;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `target` (links followed) is `own`: the same file when both exist, else
// the same name in the same folder, so a journal that does not exist yet counts.
bool IsFile(const std::filesystem::path& target, const std::filesystem::path& own)
{
    const std::optional<struct stat> targetInfo = StatOf(target);
    const std::optional<struct stat> ownInfo = StatOf(own);
    if (targetInfo && ownInfo)
        return SameFile(*targetInfo, *ownInfo);
    if (target.filename() != own.filename())
        return false;
    const std::optional<struct stat> targetFolder = StatOf(target.parent_path());
    const std::optional<struct stat> ownFolder = StatOf(own.parent_path());
    return targetFolder && ownFolder && SameFile(*targetFolder, *ownFolder);
}

// Refuses a target that is a folder or one of the files of the store or the
// registry (with their SQLite journals), which an export would destroy.
Result<void> CheckExportTarget(const std::filesystem::path& target)
{
    const std::filesystem::path shown = target.lexically_normal();
    if (const std::optional<struct stat> info = StatOf(target); info && S_ISDIR(info->st_mode))
        return Error::HResult(E_INVALIDARG, shown.string() + " is a folder");
    const struct
    {
        std::filesystem::path file;
        const char* owner;
    } owned[] = {
        {store::DefaultPath(), "the monitor store"},
        {os::Home() / "registry.db", "the registry"},
    };
    for (const auto& [file, owner] : owned) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            if (IsFile(target, file.string() + suffix))
                return Error::HResult(E_ACCESSDENIED, shown.string() + " belongs to " + owner);
        }
    }
    return {};
}

} // namespace

HRESULT UserFile::Import(BSTR path)
{
    return Guarded([&] {
        const std::string file = com::BstrToUtf8(path);
        if (file.empty())
            return Fail(E_INVALIDARG, "no monitor file named");
        Result<std::string> text = os::ReadWholeFile(file, kMaxFileSize);
        if (!text)
            return Fail(MonitorFileError(text.error(), FileAccess::Read));
        Result<std::vector<store::RecordData>> records = ParseMonitorFile(*text);
        if (!records)
            return Fail(records.error());
        Result<std::vector<MonitorType>> types = ReadMonitorTypes();
        if (!types)
            return Fail(types.error());

        std::vector<store::RecordData> accepted;
        std::vector<std::string> skipped;
        for (store::RecordData& record : *records) {
            const MonitorType* type = FindMonitorType(*types, record.type);
            if (!type) {
                skipped.push_back(record.name);
                continue;
            }
            record.type = type->name;
            accepted.push_back(std::move(record));
        }
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        if (!db)
            return Fail(db.error());
        Result<void> merged =
            store::RecordTable(**db).Merge(accepted, static_cast<std::int64_t>(skipped.size()),
                                           ImportSummaryText(accepted.size(), skipped));
        if (!merged)
            return Fail(merged.error());
        return skipped.empty() ? S_OK : S_FALSE;
    });
}

HRESULT UserFile::Export(BSTR path)
{
    return Guarded([&] {
        const std::string file = com::BstrToUtf8(path);
        if (file.empty())
            return Fail(E_INVALIDARG, "no monitor file named");
        // A link keeps pointing at the file it names: that file is replaced.
        Result<std::filesystem::path> target = FollowLinks(file);
        if (!target)
            return Fail(MonitorFileError(target.error(), FileAccess::Write));
        if (Result<void> allowed = CheckExportTarget(*target); !allowed)
            return Fail(allowed.error());
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        if (!db)
            return Fail(db.error());
        Result<std::vector<store::RecordData>> records = store::RecordTable(**db).ReadAll();
        if (!records)
            return Fail(records.error());
        Result<std::string> text = FormatMonitorFile(*records);
        if (!text)
            return Fail(text.error());
        Result<void> written = os::ReplaceFileAtomically(*target, *text);
        return written ? S_OK : Fail(MonitorFileError(written.error(), FileAccess::Write));
    });
}

} // namespace ospreon::service
