// The machine settings key and the event source's message table.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/win/unique_hkey.h"
#include "logging/event_source.h"
#include "logging/settings_key.h"
#include "testing/win/registry.h"

namespace zu::testing {
namespace {

constexpr const wchar_t* kMachineKey = L"SOFTWARE\\Orvale\\TarnService";

class SettingsKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale"); }
  void TearDown() override { DeleteTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale"); }
};

TEST_F(SettingsKeyTest, MissingOrvaleKeyIsOpenKeyError) {
  EXPECT_THROW(
      {
        try {
          OpenSettingsKey();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "OpenKey error");
          throw;
        }
      },
      std::runtime_error);
}

TEST_F(SettingsKeyTest, SubkeyIsOpenedOrCreatedUnderAnExistingParent) {
  CreateKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale");
  SettingsKey key = OpenSettingsKey();
  EXPECT_TRUE(key.parent);
  EXPECT_TRUE(key.key);
  DWORD value = 0xDEAD;
  EXPECT_NE(key.ReadDword(L"HotKeyCpuFan", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0u) << "the buffer starts at 0";
}

TEST_F(SettingsKeyTest, FourByteValuesReadWhateverTheirType) {
  const DWORD code = 0x41;
  SetValue(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyCpuFan", REG_BINARY, &code, 4);
  SetDword(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetMic", 0x42);
  const BYTE two[2] = {0x43, 0};
  SetValue(HKEY_LOCAL_MACHINE, kMachineKey, L"HotKeyHushnetSpeaker", REG_BINARY, two, 2);

  SettingsKey key = OpenSettingsKey();
  DWORD value = 0;
  EXPECT_EQ(key.ReadDword(L"HotKeyCpuFan", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0x41u);
  EXPECT_EQ(key.ReadDword(L"HotKeyHushnetMic", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0x42u);
  // Two bytes read into a zeroed four-byte buffer.
  EXPECT_EQ(key.ReadDword(L"HotKeyHushnetSpeaker", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0x43u);
}

TEST(EventSource, MessageTableShowsTheRecordText) {
  // This program links the message table, as the programs that name
  // themselves as the event source's message file do.
  HMODULE self = ::GetModuleHandleW(nullptr);
  for (DWORD id : {0x400203EAu, 0x800203ECu, 0xC00203E9u, 0u}) {
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(L"core : Start service: Veilpane, Type: 1")};
    wchar_t text[256] = {};
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, self, id, 0x409,
                                     text, 256, reinterpret_cast<va_list*>(args));
    ASSERT_GT(n, 0u) << std::hex << id << " error " << ::GetLastError();
    EXPECT_EQ(std::wstring(text), L"core : Start service: Veilpane, Type: 1\r\n");
  }
}

TEST(EventSource, InstallWritesTheMessageFileAndTypes) {
  ASSERT_EQ(InstallEventSource(L"C:\\Program Files\\Orvale\\zuservice.exe"), ERROR_SUCCESS);
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TarnService";
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, key, L"EventMessageFile", &type, &data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data())), L"C:\\Program Files\\Orvale\\zuservice.exe");
  DWORD types = 0;
  ASSERT_TRUE(GetDword(HKEY_LOCAL_MACHINE, key, L"TypesSupported", &types));
  EXPECT_EQ(types, 7u);
  EXPECT_EQ(RemoveEventSource(), ERROR_SUCCESS);
  EXPECT_FALSE(GetDword(HKEY_LOCAL_MACHINE, key, L"TypesSupported", &types));
  EXPECT_EQ(RemoveEventSource(), ERROR_SUCCESS) << "removing twice is fine";
}

}  // namespace
}  // namespace zu::testing
