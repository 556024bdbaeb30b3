// The registry store, alone and under the framework that reads through it.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "platform/null/null_services.h"
#include "platform/settings_store.h"

namespace {

using platform::SettingsAccess;
using platform::SettingsRoot;

// A key of each test's own, under both roots, removed afterwards.
class RegistryStoreTest : public ::testing::Test {
protected:
    std::string Company, Key;

    void SetUp() override {
        Company = std::string("Marivelle Tests ") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Key = "Software\\" + Company + "\\3D Marivelle 1";
        TearDown();
    }
    void TearDown() override {
        const std::wstring company(Company.begin(), Company.end());
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            HKEY software = nullptr;
            if (RegOpenKeyExW(root, L"Software", 0, KEY_ALL_ACCESS, &software) != ERROR_SUCCESS) continue;
            RegDeleteTreeW(software, company.c_str());
            RegCloseKey(software);
        }
    }
};

TEST_F(RegistryStoreTest, ComplementedNamesAndAwkwardValuesRoundTrip) {
    std::string everyByte, everyNameByte;
    for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
    everyNameByte = everyByte.substr(1);
    std::string scrambled = "DataPath";
    for (char& c : scrambled) c = static_cast<char>(~static_cast<unsigned char>(c));
    const std::vector<std::pair<std::string, std::string>> values = {
        {scrambled, "C:\\Program Files\\Marivelle\\"},
        {"lines", "one\ntwo\r\nthree"},
        {"Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x90\x9F", "\xE2\x82\xAC and \xC3\xA9"},
        {"empty", ""},
        {"nul in value", std::string("nul\0in value", 12)},
        {everyNameByte, everyByte},
        {"", "the key's default value"},
    };
    auto& store = platform::SystemSettingsStore();
    EXPECT_FALSE(store.Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly)) << "a missing key is not made";
    {
        auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
        ASSERT_TRUE(key);
        for (const auto& [name, value] : values) ASSERT_TRUE(key->Write(name, value)) << name;
        EXPECT_FALSE(key->Write(std::string("nul\0in name", 11), "x"));
    }
    auto key = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadOnly);
    ASSERT_TRUE(key);
    for (const auto& [name, value] : values) {
        auto read = key->Read(name);
        EXPECT_FALSE(read.Failed) << name;
        EXPECT_EQ(read.Value, value) << name;
    }
    EXPECT_FALSE(key->Read("absent").Value);
    EXPECT_FALSE(key->Read("absent").Failed);
    EXPECT_FALSE(key->Write("x", "y")) << "a read-only key does not write";

    // Other programs see string values, the scrambled name one wide
    // character per byte.
    HKEY raw = nullptr;
    const std::wstring path = L"Software\\" + std::wstring(Company.begin(), Company.end()) + L"\\3D Marivelle 1";
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &raw), ERROR_SUCCESS);
    wchar_t text[64] = {};
    DWORD type = 0, bytes = sizeof text;
    EXPECT_EQ(RegQueryValueExW(raw, L"lines", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(text), L"one\ntwo\r\nthree");
    DWORD count = 0;
    EXPECT_EQ(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, values.size());
    RegCloseKey(raw);
}

TEST_F(RegistryStoreTest, ANumberStoredByAnotherProgramIsAFailedRead) {
    auto key = platform::SystemSettingsStore().Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(key);
    HKEY raw = nullptr;
    const std::wstring path = L"Software\\" + std::wstring(Company.begin(), Company.end()) + L"\\3D Marivelle 1";
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &raw), ERROR_SUCCESS);
    const DWORD number = 7;
    ASSERT_EQ(RegSetValueExW(raw, L"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
              ERROR_SUCCESS);
    RegCloseKey(raw);
    auto read = key->Read("Count");
    EXPECT_TRUE(read.Failed);
    EXPECT_FALSE(read.Value);
}

TEST_F(RegistryStoreTest, TheFrameworkPrefersTheMachineValueAndFallsBackToTheUsers) {
    auto& store = platform::SystemSettingsStore();
    ASSERT_TRUE(store.Open(SettingsRoot::Machine, Key, SettingsAccess::ReadWrite)->Write("V", "machine"));
    auto user = store.Open(SettingsRoot::User, Key, SettingsAccess::ReadWrite);
    ASSERT_TRUE(user->Write("V", "user"));
    ASSERT_TRUE(user->Write("U", "only mine"));

    platform::NullServices null;
    platform::Services services = null.Get();
    services.Settings = &store;
    {
        TCustomApplicationPro app(services);
        app.Title = "3D Marivelle";
        app.Company = Company;
        app.SetUseMachineKey(true);
        EXPECT_EQ(app.ReadString("V", ""), "machine");
        EXPECT_EQ(app.ReadString("U", ""), "only mine");
        EXPECT_EQ(app.ReadString("W", "none"), "none");
    }

    // The framework's own values go under complemented names; written and
    // read back through the registry by a second instance.
    {
        TCustomGraphicApplicationPro app(services);
        app.Title = "3D Marivelle";
        app.Company = Company;
        app.FixedFPS = true;
        app.DataPath = "D:\\Aquarium\\";
        app.SaveOptions();
    }
    TCustomGraphicApplicationPro again(services);
    again.Title = "3D Marivelle";
    again.Company = Company;
    again.LoadOptions();
    EXPECT_TRUE(again.FixedFPS);
    EXPECT_EQ(again.DataPath, "D:\\Aquarium\\");
    // Wine lets every user write HKEY_LOCAL_MACHINE; on Windows a user
    // without the right finds the values under HKEY_CURRENT_USER instead.
    std::string scrambled = "FixedFPS";
    for (char& c : scrambled) c = static_cast<char>(~static_cast<unsigned char>(c));
    auto machine = store.Open(SettingsRoot::Machine, Key, SettingsAccess::ReadOnly);
    ASSERT_TRUE(machine);
    auto stored = machine->Read(scrambled).Value;
    if (!stored) stored = user->Read(scrambled).Value;
    EXPECT_EQ(stored, "-1");
    EXPECT_FALSE(machine->Read("FixedFPS").Value) << "no plain names for the framework's values";
}

}  // namespace
