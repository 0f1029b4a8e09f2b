// IUserFile: export and import of monitor files.

#include <sys/stat.h>

#include "interfaces/service_errors.h"
#include "interfaces/user_file.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "service/store/database.h"
#include "service/store/meta_table.h"
#include "tests/service/objects/service_fixture.h"

namespace ospreon::test {
namespace {

class MonitorFiles : public ServiceTest
{
protected:
    HRESULT Import(const std::filesystem::path& file)
    {
        ComPtr<IUserFile> files = CreateObject<IUserFile>(CLSID_UserFile);
        com::Bstr path(file.string());
        return files->Import(path.get());
    }
    HRESULT Export(const std::filesystem::path& file)
    {
        ComPtr<IUserFile> files = CreateObject<IUserFile>(CLSID_UserFile);
        com::Bstr path(file.string());
        return files->Export(path.get());
    }
    store::ImportSummary LastImport()
    {
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        EXPECT_TRUE(db.ok());
        Result<store::ImportSummary> summary = store::MetaTable(**db).LastImport();
        EXPECT_TRUE(summary.ok());
        return summary ? *summary : store::ImportSummary{};
    }
};

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat info
    {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

constexpr char kControls[] = "tab\there\x01 nul\0inside";

std::string LongText()
{
    std::string text;
    while (text.size() < 64 * 1024)
        text += "line " + std::to_string(text.size()) + " \"quoted\" \\ é\n";
    return text;
}

TEST_F(MonitorFiles, ExportThenImportIntoAnEmptyStoreReproducesEveryRecord)
{
    const Entries values = {
        {"Lines", "first\nsecond\r\nthird\n"},
        {"Quotes", "\"double\" 'single' \\backslash\\ {\"json\": [1]}"},
        {"Text", "Grüße — 日本語 🙂"},
        {"Long", LongText()},
        {"Empty", ""},
        {"Controls", std::string(kControls, sizeof kControls - 1)},
    };
    ComPtr<IUser> plugin;
    ASSERT_EQ(Add("Testwarden of probe", &plugin), S_OK);
    for (const auto& [key, value] : values)
        ASSERT_EQ(PutValue(plugin.get(), key, value), S_OK) << key;
    ASSERT_EQ(Add("Pagewarden of Zürich"), S_OK);
    ComPtr<IUser> disk;
    ASSERT_EQ(Add("Volumewarden of disk", &disk), S_OK);
    ASSERT_EQ(PutValue(disk.get(), "Ext_Free space threshold (Mb)", "512"), S_OK);
    const std::vector<store::RecordData> before = StoredRecords();
    ASSERT_EQ(before.size(), 3u);
    ASSERT_EQ(before[0].parameters.size(), 4u + values.size());

    const std::filesystem::path file = home.path() / "monitors.Mnt";
    ASSERT_EQ(Export(file), S_OK);
    EXPECT_EQ(ModeOf(file), 0600);
    const std::string exported = ReadFile(file);

    TempHome empty;
    ASSERT_EQ(RegisterModule(ServiceLibrary()), S_OK);
    ASSERT_EQ(RegisterModule(TestPluginModule()), S_OK);
    RegisterBundledTypeNames();
    ASSERT_EQ(Import(file), S_OK);
    EXPECT_EQ(StoredRecords(), before);
    ComPtr<IUser> imported;
    ASSERT_EQ(Open("Testwarden of probe", &imported), S_OK);
    for (const auto& [key, value] : values)
        EXPECT_EQ(ValueOf(imported.get(), key), value) << key;

    const std::filesystem::path again = empty.path() / "again.Mnt";
    ASSERT_EQ(Export(again), S_OK);
    EXPECT_EQ(ReadFile(again), exported);
}

TEST_F(MonitorFiles, ImportReplacesSameNamedRecordsInPlaceAndSkipsUnknownTypes)
{
    ComPtr<IUser> live;
    ASSERT_EQ(Add("Testwarden of kept", &live), S_OK);
    ComPtr<IUser> other;
    ASSERT_EQ(Add("Pagewarden of other", &other), S_OK);
    ASSERT_EQ(PutValue(other.get(), "Monitor_Parameter", "http://other.test/"), S_OK);
    const Entries otherBefore = EntriesOf(other.get());

    const std::filesystem::path file = home.path() / "merge.Mnt";
    WriteFile(file, R"({"format": "ospreon-monitors", "version": 1, "monitors": [
        {"name": "TESTWARDEN OF KEPT", "type": "testwarden",
         "parameters": [["Status", "Enable"], ["Monitor_Parameter", "fail"]]},
        {"name": "Ghostwarden of lost", "type": "Ghostwarden", "parameters": []},
        {"name": "Relaywarden of new", "type": "Relaywarden",
         "parameters": [["Status", "Disable"]], "comment": "members of later writers are ignored"}
    ]})");
    EXPECT_EQ(Import(file), S_FALSE) << "a record was skipped";

    // The record opened before the import is the same record, now with the file's
    // name, type spelling and list.
    EXPECT_EQ(NameOf(live.get()), "TESTWARDEN OF KEPT");
    com::Bstr type;
    ASSERT_EQ(live->get_ServiceType(type.put()), S_OK);
    EXPECT_EQ(type.utf8(), "Testwarden");
    EXPECT_EQ(EntriesOf(live.get()),
              (Entries{{"Status", "Enable"}, {"Monitor_Parameter", "fail"}}));

    EXPECT_EQ(EntriesOf(other.get()), otherBefore);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(Open("Ghostwarden of lost"), WARDEN_E_NORECORD);
    ComPtr<IUser> added;
    ASSERT_EQ(Open("Relaywarden of new", &added), S_OK);
    EXPECT_EQ(EntriesOf(added.get()), (Entries{{"Status", "Disable"}}));

    const store::ImportSummary summary = LastImport();
    EXPECT_EQ(summary.applied, 2);
    EXPECT_EQ(summary.skipped, 1);
    EXPECT_NE(summary.text.find("Ghostwarden of lost"), std::string::npos) << summary.text;
}

TEST_F(MonitorFiles, FilesThatCannotBeUsedFailAndChangeNothing)
{
    ComPtr<IUser> live;
    ASSERT_EQ(Add("Testwarden of steady", &live), S_OK);
    ASSERT_EQ(PutValue(live.get(), "Monitor_Parameter", "fail"), S_OK);
    const std::filesystem::path valid = home.path() / "valid.Mnt";
    ASSERT_EQ(Export(valid), S_OK);
    const std::string text = ReadFile(valid);
    const std::vector<store::RecordData> before = StoredRecords();

    auto monitorFile = [](const std::string& monitors,
                          const std::string& head = R"("format":"ospreon-monitors","version":1)") {
        return "{" + head + R"(,"monitors":[)" + monitors + "]}";
    };
    const std::string replacing = R"({"name":"Testwarden of steady","type":"Testwarden",
                                      "parameters":[["Status","Enable"]]})";
    struct Case
    {
        const char* what;
        std::string content;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"truncated file", text.substr(0, text.size() / 2)},
        {"file cut before its last brace", text.substr(0, text.rfind('}'))},
        {"other format", monitorFile(replacing, R"("format":"something-else","version":1)")},
        {"no format", monitorFile(replacing, R"("version":1)")},
        {"newer version", monitorFile(replacing, R"("format":"ospreon-monitors","version":2)")},
        {"not JSON", "[Monitors]\nTestwarden of steady=Enable\n"},
        {"not an object", "[" + replacing + "]"},
        {"not UTF-8", monitorFile(R"({"name":"Testwarden of steady","type":"Testwarden",
                                      "parameters":[["Status","En)"
                                  "\xff"
                                  R"(able"]]})")},
        {"value not a string", monitorFile(R"({"name":"Testwarden of steady","type":"Testwarden",
                                               "parameters":[["Status",1]]})")},
        {"entry not a pair", monitorFile(R"({"name":"Testwarden of steady","type":"Testwarden",
                                             "parameters":[["Status","Enable","x"]]})")},
        {"no name", monitorFile(R"({"type":"Testwarden","parameters":[]})")},
        {"no parameter list", monitorFile(R"({"name":"Pagewarden of x","type":"Pagewarden"})")},
        {"key twice", monitorFile(R"({"name":"Testwarden of steady","type":"Testwarden",
                                      "parameters":[["Status","Enable"],["Status","Disable"]]})")},
        // The first record alone would be valid: the whole file is checked first.
        {"name twice", monitorFile(replacing + "," + R"({"name":"TESTWARDEN of steady",
                                      "type":"Testwarden","parameters":[]})")},
        // A name states its type before its first " of ".
        {"name of another type", monitorFile(replacing + "," + R"({"name":"Pagewarden of x",
                                                 "type":"Testwarden","parameters":[]})")},
        {"name without type", monitorFile(R"({"name":"steady","type":"Testwarden",
                                              "parameters":[]})")},
        {"name's type longer", monitorFile(R"({"name":"Testwardens of x","type":"Testwarden",
                                               "parameters":[]})")},
        {"type after a later of", monitorFile(R"({"name":"Pagewarden of Testwarden of x",
                                                  "type":"Testwarden","parameters":[]})")},
        // SQLite's case-blind comparison stops at a NUL: this name would replace "steady".
        {"NUL in a name", monitorFile(R"({"name":"Testwarden of steady\u0000x",
                                          "type":"Testwarden","parameters":[]})")},
        {"control character in a key", monitorFile(R"({"name":"Testwarden of steady",
                                                       "type":"Testwarden",
                                                       "parameters":[["Sta\u001btus","x"]]})")},
        {"nested deeper than the format", monitorFile(replacing, R"("format":"ospreon-monitors",
                                                          "version":1,"extra":[[[[[]]]]])")},
    };
    const std::filesystem::path file = home.path() / "bad.Mnt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(file, c.content);
        EXPECT_EQ(Import(file), WARDEN_E_BADFILE);
        EXPECT_EQ(StoredRecords(), before);
        EXPECT_EQ(ValueOf(live.get(), "Status"), "Disable");
    }
    EXPECT_EQ(Import(home.path() / "missing.Mnt"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Import(home.path()), HRESULT_FROM_WIN32(ERROR_CANTREAD)) << "a folder";
    EXPECT_EQ(Import(""), E_INVALIDARG);
    EXPECT_EQ(StoredRecords(), before);
}

TEST_F(MonitorFiles, ExportReplacesTheTargetWhole)
{
    ASSERT_EQ(Add("Pagewarden of site"), S_OK);
    const std::filesystem::path folder = home.path() / "backups";
    std::filesystem::create_directory(folder);
    const std::filesystem::path file = folder / "backup.Mnt";
    WriteFile(file, "an older backup that is longer than the new one will be, by far: " +
                        std::string(4096, 'x'));
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);

    ASSERT_EQ(Export(file), S_OK);
    EXPECT_EQ(ModeOf(file), 0600) << "monitor files hold passwords";
    EXPECT_NE(ReadFile(file).find("\"Pagewarden of site\""), std::string::npos);
    EXPECT_EQ(ReadFile(file).find("older backup"), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";

    EXPECT_EQ(Export(home.path() / "no-such-folder" / "backup.Mnt"),
              HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(std::filesystem::exists(home.path() / "no-such-folder"));
}

// Export never overwrites the files of the store or of the registry, however the
// path spells them, nor a folder.
TEST_F(MonitorFiles, ExportRefusesTheStoresOwnFilesAndFolders)
{
    ASSERT_EQ(Add("Pagewarden of site"), S_OK);
    const std::vector<store::RecordData> before = StoredRecords();
    std::filesystem::create_directory(home.path() / "sub");
    std::filesystem::create_symlink(home.path() / "wardenhost.db", home.path() / "sub" / "db");
    struct Case
    {
        std::filesystem::path path;
        HRESULT expected;
    };
    const Case cases[] = {
        {home.path() / "wardenhost.db", E_ACCESSDENIED},
        {home.path() / "sub" / ".." / "registry.db", E_ACCESSDENIED},
        {home.path() / "sub" / "db", E_ACCESSDENIED},
        {home.path() / "wardenhost.db-wal", E_ACCESSDENIED},
        {home.path() / "wardenhost.db-shm", E_ACCESSDENIED},
        {home.path() / "registry.db-wal", E_ACCESSDENIED},
        {home.path() / "." / "registry.db-shm", E_ACCESSDENIED},
        {home.path() / "sub", E_INVALIDARG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const bool existed = std::filesystem::exists(c.path);
        const std::string content =
            existed && !std::filesystem::is_directory(c.path) ? ReadFile(c.path) : std::string();
        EXPECT_EQ(Export(c.path), c.expected);
        EXPECT_EQ(std::filesystem::exists(c.path), existed);
        if (existed && !std::filesystem::is_directory(c.path)) {
            EXPECT_EQ(ReadFile(c.path), content);
        }
    }
    EXPECT_EQ(StoredRecords(), before);
    EXPECT_TRUE(std::filesystem::is_symlink(home.path() / "sub" / "db"));
}

TEST_F(MonitorFiles, ExportThroughALinkReplacesTheFileItPointsTo)
{
    ASSERT_EQ(Add("Pagewarden of site"), S_OK);
    const std::filesystem::path backups = home.path() / "backups";
    const std::filesystem::path links = home.path() / "links";
    std::filesystem::create_directory(backups);
    std::filesystem::create_directory(links);
    // A link to a link to a file that does not exist yet.
    std::filesystem::create_symlink("../backups/all.Mnt", links / "first");
    std::filesystem::create_symlink("first", links / "second");

    ASSERT_EQ(Export(links / "second"), S_OK);
    EXPECT_TRUE(std::filesystem::is_symlink(links / "first"));
    EXPECT_TRUE(std::filesystem::is_symlink(links / "second"));
    EXPECT_NE(ReadFile(backups / "all.Mnt").find("\"Pagewarden of site\""), std::string::npos);
    EXPECT_EQ(ModeOf(backups / "all.Mnt"), 0600);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(links),
                            std::filesystem::directory_iterator()),
              2)
        << "nothing but the links";
}

} // namespace
} // namespace ospreon::test
