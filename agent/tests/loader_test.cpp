// The plug-in loader on real signed, unsigned, foreign and tampered files.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "agent/plugin_loader.h"
#include "agent/tests/plugin_folder.h"
#include "testing/recording_logger.h"
#include "testing/win/iat_hook.h"

namespace zu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One expected log line; LogAndReport gives a Log and a Report call each.
struct Line {
  int level;
  std::string message;
};

std::vector<std::string> Describe(const std::vector<LogCall>& calls) {
  std::vector<std::string> out;
  for (const auto& c : calls)
    out.push_back(std::string(c.op == LogCall::Op::kLog ? "Log" : "Report") + " " + std::to_string(c.level) + " " +
                  c.component + ": " + c.message);
  return out;
}

std::vector<std::string> LoggedAndReported(std::initializer_list<Line> lines) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    for (const char* op : {"Log", "Report"}) out.push_back(std::string(op) + " " + std::to_string(l.level) + " core: " + l.message);
  return out;
}

class LoaderTest : public ::testing::Test {
 protected:
  ~LoaderTest() override {
    // Loaded libraries keep their files busy; the folder goes after them.
    services_.ForEach([](ServiceEntry& e) { ::FreeLibrary(static_cast<HMODULE>(e.module)); });
  }
  bool Load(const std::wstring& name) { return loader_.LoadPlugin(name); }

  PluginFolder folder_;
  RecordingLogger log_;
  ServiceList services_;
  PluginLoader loader_{folder_.directory(), log_, services_};
};

const std::string kVerifyError = "An error occurred trying to verify the signature of the file ";

TEST_F(LoaderTest, AMissingFileIsReportedAndSkipped) {
  EXPECT_FALSE(Load(L"missing.dll"));
  EXPECT_EQ(Describe(log_.calls()),
            LoggedAndReported({{2, "missing.dll: LoadLibrary() failed, GetLastError() = 126\n"}}));
  EXPECT_TRUE(services_.empty());

  // A file that is there but cannot be opened keeps its own code.
  log_.Clear();
  folder_.Add(PluginVariant::kGood, L"locked.dll");
  HANDLE locked = ::CreateFileW((folder_.directory() + L"locked.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Load(L"locked.dll"));
  ::CloseHandle(locked);
  EXPECT_EQ(Describe(log_.calls()),
            LoggedAndReported({{2, "locked.dll: LoadLibrary() failed, GetLastError() = 32\n"}}));
  EXPECT_THAT(folder_.Trace(), IsEmpty());
}

TEST_F(LoaderTest, UnsignedForeignAndTamperedFilesNeverRun) {
  folder_.Add(PluginVariant::kUnsigned, L"unsigned.dll");
  folder_.Add(PluginVariant::kOtherPublisher, L"other.dll");
  folder_.Add(PluginVariant::kTampered, L"tampered.dll");

  EXPECT_FALSE(Load(L"unsigned.dll"));
  EXPECT_EQ(Describe(log_.calls()), LoggedAndReported({{2, kVerifyError + "unsigned.dll."}}));
  log_.Clear();

  EXPECT_FALSE(Load(L"other.dll"));
  EXPECT_EQ(Describe(log_.calls()), LoggedAndReported({{0, "The file other.dll is signed."},
                                                       {2, kVerifyError + "other.dll."}}));
  log_.Clear();

  EXPECT_FALSE(Load(L"tampered.dll"));
  EXPECT_EQ(Describe(log_.calls()), LoggedAndReported({{2, kVerifyError + "tampered.dll."}}));

  EXPECT_THAT(folder_.Trace(), IsEmpty()) << "no initialisation code of a rejected file ran";
  EXPECT_TRUE(services_.empty());
  for (const wchar_t* name : {L"unsigned.dll", L"other.dll", L"tampered.dll"})
    EXPECT_EQ(::GetModuleHandleW((folder_.directory() + name).c_str()), nullptr);
}

TEST_F(LoaderTest, AGoodFileIsVerifiedLoadedAndBound) {
  folder_.Add(PluginVariant::kGood, L"Veilpane.dll");
  EXPECT_TRUE(Load(L"Veilpane.dll"));
  EXPECT_EQ(Describe(log_.calls()),
            LoggedAndReported({{0, "The file Veilpane.dll is signed."},
                               {0, "A certified check has been verified for the file Veilpane.dll."},
                               {0, "Start service: Veilpane, Type: 1"}}));
  ASSERT_EQ(services_.size(), 1u);
  services_.ForEach([](ServiceEntry& e) {
    EXPECT_EQ(e.service->GetName(), "Veilpane");
    EXPECT_EQ(e.service->GetState(), UNKNOWN) << "not initialised by the loader";
    EXPECT_EQ(e.misses, 0);
    EXPECT_NE(e.module, nullptr);
  });
  EXPECT_THAT(folder_.Trace(), ElementsAre("Veilpane attach"));
}

TEST_F(LoaderTest, ANullFactoryOrAMissingExportUnloadsTheLibrary) {
  folder_.Add(PluginVariant::kGood, L"null.dll");
  folder_.SetBehaviour(L"null", "null-factory");
  folder_.Add(PluginVariant::kNoExport, L"noexport.dll");

  EXPECT_FALSE(Load(L"null.dll"));
  EXPECT_EQ(Describe(log_.calls()),
            LoggedAndReported({{0, "The file null.dll is signed."},
                               {0, "A certified check has been verified for the file null.dll."},
                               {0, "null.dll: SvrGetter() is null\n"}}));
  log_.Clear();

  EXPECT_FALSE(Load(L"noexport.dll"));
  EXPECT_EQ(Describe(log_.calls()),
            LoggedAndReported({{0, "The file noexport.dll is signed."},
                               {0, "A certified check has been verified for the file noexport.dll."},
                               {2, "noexport.dll: GetProcAddress() failed, GetLastError() = 127\n"}}));

  EXPECT_THAT(folder_.Trace(), ElementsAre("null attach", "null detach", "noexport attach", "noexport detach"));
  EXPECT_TRUE(services_.empty());
}

TEST_F(LoaderTest, TheLoadListIsLoadedInOrderAndFailuresSkipOnlyTheirEntry) {
  folder_.Add(PluginVariant::kGood, L"meetlamp.dll");
  folder_.Add(PluginVariant::kUnsigned, L"Fanrule.dll");
  // Hushnet.dll is not installed.
  folder_.Add(PluginVariant::kGood, L"Veilpane.dll");
  loader_.LoadAll();

  std::vector<std::string> names;
  services_.ForEach([&](ServiceEntry& e) { names.push_back(e.service->GetName()); });
  EXPECT_THAT(names, ElementsAre("meetlamp", "Veilpane"));
  EXPECT_THAT(log_.messages(),
              ElementsAre("The file meetlamp.dll is signed.",
                          "A certified check has been verified for the file meetlamp.dll.",
                          "Start service: meetlamp, Type: 1", kVerifyError + "Fanrule.dll.",
                          "Hushnet.dll: LoadLibrary() failed, GetLastError() = 126\n",
                          "The file Veilpane.dll is signed.",
                          "A certified check has been verified for the file Veilpane.dll.",
                          "Start service: Veilpane, Type: 1"));
  EXPECT_THAT(folder_.Trace(), ElementsAre("meetlamp attach", "Veilpane attach"));
}

TEST_F(LoaderTest, AllFourListedLibrariesGiveFourServicesInListOrder) {
  for (const wchar_t* name : kPluginLoadList) folder_.Add(PluginVariant::kGood, name);
  loader_.LoadAll();
  std::vector<std::string> started;
  for (const auto& m : log_.messages())
    if (m.rfind("Start service: ", 0) == 0) started.push_back(m);
  EXPECT_THAT(started, ElementsAre("Start service: meetlamp, Type: 1", "Start service: Fanrule, Type: 1",
                                   "Start service: Hushnet, Type: 1", "Start service: Veilpane, Type: 1"));
  EXPECT_EQ(services_.size(), 4u);
}

TEST_F(LoaderTest, ALibraryPlantedOnTheSearchPathIsNotLoaded) {
  PluginFolder planted;
  planted.Add(PluginVariant::kGood, L"zuplanted.dll");
  wchar_t oldPath[32767] = {};
  ::GetEnvironmentVariableW(L"PATH", oldPath, 32767);
  ::SetEnvironmentVariableW(L"PATH", (planted.path().wstring() + L";" + oldPath).c_str());
  ::SetDllDirectoryW(planted.path().wstring().c_str());

  EXPECT_FALSE(Load(L"zuplanted.dll"));
  EXPECT_EQ(Describe(log_.calls()),
            LoggedAndReported({{2, "zuplanted.dll: LoadLibrary() failed, GetLastError() = 126\n"}}));
  EXPECT_THAT(planted.Trace(), IsEmpty());

  // The standard search order would have found and run it.
  HMODULE found = ::LoadLibraryW(L"zuplanted.dll");
  EXPECT_NE(found, nullptr);
  if (found) ::FreeLibrary(found);
  EXPECT_THAT(planted.Trace(), ElementsAre("zuplanted attach", "zuplanted detach"));

  ::SetDllDirectoryW(nullptr);
  ::SetEnvironmentVariableW(L"PATH", oldPath);
}

// What the loader's LoadLibraryExW call was given, and whether the file
// could be replaced at that moment.
struct LoadObservation {
  std::wstring path;
  DWORD flags = 0;
  DWORD writeOpenError = 0;
  DWORD renameError = 0;
} g_observed;
IatHook* g_loadHook = nullptr;

HMODULE WINAPI ObservingLoadLibraryExW(LPCWSTR path, HANDLE file, DWORD flags) {
  g_observed.path = path;
  g_observed.flags = flags;
  HANDLE w = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  g_observed.writeOpenError = w == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  if (w != INVALID_HANDLE_VALUE) ::CloseHandle(w);
  const std::wstring moved = std::wstring(path) + L".moved";
  g_observed.renameError = ::MoveFileExW(path, moved.c_str(), 0) ? 0 : ::GetLastError();
  return g_loadHook->original<decltype(&::LoadLibraryExW)>()(path, file, flags);
}

TEST_F(LoaderTest, TheVerifiedFileIsHeldAgainstReplacementAndLoadedByFullPath) {
  folder_.Add(PluginVariant::kGood, L"meetlamp.dll");
  IatHook hook(nullptr, "kernel32.dll", "LoadLibraryExW", reinterpret_cast<void*>(&ObservingLoadLibraryExW));
  ASSERT_TRUE(hook.installed());
  g_loadHook = &hook;
  EXPECT_TRUE(Load(L"meetlamp.dll"));
  g_loadHook = nullptr;

  EXPECT_EQ(g_observed.path, folder_.directory() + L"meetlamp.dll");
  EXPECT_EQ(g_observed.flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
  EXPECT_EQ(g_observed.writeOpenError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(g_observed.renameError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_THAT(folder_.Trace(), ElementsAre("meetlamp attach"));
}

TEST(SignatureChecks, ThumbprintOfEachVariant) {
  EXPECT_EQ(SignerThumbprint(VariantFile(PluginVariant::kGood).wstring()), std::string(kPublisherThumbprint));
  const auto other = SignerThumbprint(VariantFile(PluginVariant::kOtherPublisher).wstring());
  ASSERT_TRUE(other.has_value());
  EXPECT_NE(*other, kPublisherThumbprint);
  EXPECT_EQ(other->size(), 40u);
  EXPECT_EQ(SignerThumbprint(VariantFile(PluginVariant::kUnsigned).wstring()), std::nullopt);

  EXPECT_TRUE(VerifyPublisherThumbprint(VariantFile(PluginVariant::kGood).wstring()));
  EXPECT_FALSE(VerifyPublisherThumbprint(VariantFile(PluginVariant::kOtherPublisher).wstring()));
  // The comparison is exact: the upper-case form of the right thumbprint fails.
  std::string upper = kPublisherThumbprint;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  EXPECT_FALSE(VerifyPublisherThumbprint(VariantFile(PluginVariant::kGood).wstring(), upper));

  EXPECT_TRUE(VerifyEmbeddedSignature(VariantFile(PluginVariant::kGood).wstring()));
  EXPECT_TRUE(VerifyEmbeddedSignature(VariantFile(PluginVariant::kOtherPublisher).wstring()));
  EXPECT_FALSE(VerifyEmbeddedSignature(VariantFile(PluginVariant::kUnsigned).wstring()));
  EXPECT_FALSE(VerifyEmbeddedSignature(VariantFile(PluginVariant::kTampered).wstring()));
}

}  // namespace
}  // namespace zu::testing
