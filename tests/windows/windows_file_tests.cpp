// Map files as Windows names and reads them: names in UTF-8 whatever the
// ANSI code page, "\" or "/" between folders, binary reads of bytes that a
// text read would change, the system's reason for a name that does not
// open, and files larger than Windows' 32-bit long counts.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>  // GetTempPathW, CreateDirectoryW, CreateFileW, SetFilePointerEx
#include <winioctl.h> // FSCTL_SET_SPARSE

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mapwriter.h"
#include "tilvogl/tilvogl.h"

namespace {

using tmapwriter::Bytes;

std::string utf8(const std::wstring &wide)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

std::wstring temporaryFolder()
{
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, length);
}

bool write(const std::wstring &path, const Bytes &bytes)
{
    std::FILE *file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// A 3 x 2 map whose file holds, before its layer, a chunk of the bytes a
// text read would turn or stop at: "\r\n" pairs and Ctrl-Z.
Bytes mapWithTextHazards()
{
    tmapwriter::Map m;
    m.depth = 16;
    m.width = 3;
    m.height = 2;
    m.tileWidth = m.tileHeight = 2;
    m.blocks.resize(4);
    m.layers[0] = std::vector<int32_t>{0, 1, 2, 3, 2, 1};
    std::vector<tmapwriter::Chunk> chunks = tmapwriter::buildChunks(m);
    chunks.insert(chunks.begin() + 1, tmapwriter::makeChunk("NOTE", Bytes{'\r', '\n', 0x1A, '\r', '\n', 0x1A, '\n', '\r'}));
    return tmapwriter::buildForm(chunks);
}

TEST(WindowsFiles, NamesAreUtf8AndEitherSeparatorWorks)
{
    // Cyrillic, Chinese and a check mark: no ANSI code page has them all.
    const std::wstring folder = temporaryFolder() + L"tilvogl-\u0444\u0430\u0439\u043b\u044b-\u5730\u56f3";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring file = folder + L"\\\u043a\u0430\u0440\u0442\u0430 \u2713.fmp";
    ASSERT_TRUE(write(file, mapWithTextHazards()));
    std::string forward = utf8(file);
    for (char &c : forward) c = c == '\\' ? '/' : c;
    for (const std::string &path : {utf8(file), forward}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(tmapLoadFile(path.c_str(), TMAP_TEXTURES_NONE), 0) << tmapErrorString(tmapError);
        // Every byte read as it is: the layer after the text hazards is whole.
        EXPECT_EQ(std::vector<int32_t>(tmapLayers[0], tmapLayers[0] + 6), (std::vector<int32_t>{0, 1, 2, 3, 2, 1}));
    }
    tmapRelease();
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(WindowsFiles, NamesThatDoNotOpenGiveTheSystemsReason)
{
    const std::string folder = utf8(temporaryFolder());
    const struct {
        const char *what;
        std::string path;
        int system;
    } cases[] = {
        {"a missing file", folder + "no-such-map.fmp", ENOENT},
        {"a folder", folder, EACCES},
        {"bytes that are not UTF-8", folder + "\xff\xfe.fmp", EILSEQ},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(tmapLoadFile(c.path.c_str(), TMAP_TEXTURES_NONE), -1) << c.what;
        EXPECT_EQ(tmapError, TMAP_ERROR_CANNOT_OPEN) << c.what;
        EXPECT_EQ(tmapErrorSystem, c.system) << c.what << ": " << std::strerror(tmapErrorSystem);
    }
}

// A file larger than a 32-bit long can count (4 GiB and 8 bytes, which such
// a long could only misread as -1 or as 8; sparse where the file system
// allows, so cheap to make) whose form is a small map: the bytes after the
// form are not read, and the map loads as it does on every system.
TEST(WindowsFiles, AMapInAFileOfFourGibibytesLoads)
{
    const Bytes form = mapWithTextHazards();
    const std::wstring path = temporaryFolder() + L"tilvogl-4-gib.fmp";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0, ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    bool ok = WriteFile(file, form.data(), DWORD(form.size()), &written, nullptr) != 0;
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG(4) << 30) + 8;
    ok = ok && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file) != 0;
    CloseHandle(file);
    ASSERT_TRUE(ok);

    EXPECT_EQ(tmapLoadFile(utf8(path).c_str(), TMAP_TEXTURES_NONE), 0) << tmapErrorString(tmapError);
    EXPECT_EQ(tmapWidth, 3);
    tmapRelease();
    DeleteFileW(path.c_str());
}

} // namespace
