// The resources of the built Varnholt.exe, read back as Windows reads them:
// the version record and the icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

// Varnholt.exe stands in the build folder, one above the tests.
std::wstring programFile()
{
    wchar_t self[MAX_PATH];
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    const auto testsFolder = path.find_last_of(L"\\/");
    const auto buildFolder = path.find_last_of(L"\\/", testsFolder - 1);
    return path.substr(0, buildFolder + 1) + L"Varnholt.exe";
}

class VersionRecord : public testing::Test {
protected:
    void SetUp() override
    {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(programFile().c_str(), &ignored);
        ASSERT_GT(size, 0u) << "no version record in Varnholt.exe";
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(programFile().c_str(), 0, size, data_.data()));
    }

    std::wstring string(const std::wstring& name)
    {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), (L"\\StringFileInfo\\080404B0\\" + name).c_str(), &value, &length))
            return L"(missing)";
        return std::wstring(static_cast<const wchar_t*>(value));
    }

    std::vector<char> data_;
};

}  // namespace

TEST_F(VersionRecord, carriesTheProgramsStrings)
{
    EXPECT_EQ(string(L"FileVersion"), VARNHOLT_VERSION);
    EXPECT_EQ(string(L"ProductVersion"), VARNHOLT_VERSION);
    EXPECT_EQ(string(L"ProductName"), L"Peldrun");
    EXPECT_EQ(string(L"InternalName"), L"Varnholt");
    EXPECT_EQ(string(L"OriginalFilename"), L"Varnholt.exe");
}

TEST_F(VersionRecord, isChineseUnicodeVersionOne)
{
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 1200);

    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD majorMinor = VARNHOLT_VERSION_MAJOR << 16 | VARNHOLT_VERSION_MINOR;
    EXPECT_EQ(fixed->dwFileVersionMS, majorMinor);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, majorMinor);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(ProgramIcon, isOne32By32IconOf256Colours)
{
    HMODULE program = LoadLibraryExW(programFile().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC group = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr) << "no icon in Varnholt.exe";
#pragma pack(push, 2)
    struct Entry {
        BYTE width, height, colors, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
    struct Directory {
        WORD reserved, type, count;
        Entry entries[1];
    };
#pragma pack(pop)
    const auto* directory = static_cast<const Directory*>(LockResource(LoadResource(program, group)));
    ASSERT_EQ(directory->count, 1);
    EXPECT_EQ(directory->entries[0].width, 32);
    EXPECT_EQ(directory->entries[0].height, 32);
    EXPECT_EQ(directory->entries[0].bitCount, 8);  // 256 colours
    FreeLibrary(program);
}
