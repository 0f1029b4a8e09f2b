// Import and export of monitor files; the format is described in monitor_file.h.

#include "service/objects/user_file.h"

#include "platform/os/file_io.h"
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
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        if (!db)
            return Fail(db.error());
        Result<std::vector<store::RecordData>> records = store::RecordTable(**db).ReadAll();
        if (!records)
            return Fail(records.error());
        Result<std::string> text = FormatMonitorFile(*records);
        if (!text)
            return Fail(text.error());
        Result<void> written = os::ReplaceFileAtomically(file, *text);
        return written ? S_OK : Fail(MonitorFileError(written.error(), FileAccess::Write));
    });
}

} // namespace ospreon::service
