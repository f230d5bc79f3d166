// Windows: glowview in Explorer's "Open with" for the pictures it reads, for the current user.
// Per-user classes need no administrator: HKEY_CURRENT_USER\Software\Classes holds the
// application's entry (its types and open command) and each type's open-with list.
#include "src/register.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t* const kClasses = L"Software\\Classes\\";
const wchar_t* const kApplications = L"Software\\Classes\\Applications";
const wchar_t* const kApplication = L"Software\\Classes\\Applications\\glowview.exe";
const wchar_t* const kExeName = L"glowview.exe";
const wchar_t* const kTypes[] = {L".png", L".jpg", L".jpeg", L".webp"};
const char* const kTypeList = ".png .jpg .jpeg .webp";
const char* const kRoot = "HKEY_CURRENT_USER\\";

// An open registry key, closed on every way out.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string ToUtf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}

void ReportFailure(const char* action, const std::wstring& path, LONG code)
{
    std::fprintf(stderr, "glowview: cannot %s %s%s: error %ld\n", action, kRoot,
                 ToUtf8(path).c_str(), static_cast<long>(code));
}

// Creates the key (and those above it) and, with a name, sets that string value; an empty
// name is the key's default value, null sets none.
bool WriteValue(const std::wstring& path, const wchar_t* name, const std::wstring& value)
{
    RegistryKey key;
    LONG code = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, key.out(), nullptr);
    if (code == ERROR_SUCCESS && name) {
        const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        code = RegSetValueExW(key.get(), *name ? name : nullptr, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    }
    if (code != ERROR_SUCCESS) {
        ReportFailure("write", path, code);
        return false;
    }
    return true;
}

// The program's own path, or empty.
std::wstring ProgramPath()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return std::wstring();
    path.resize(length);
    return path;
}

std::wstring OpenWithEntry(const wchar_t* type)
{
    return std::wstring(kClasses) + type + L"\\OpenWithList\\" + kExeName;
}

// Deletes the key when it has neither subkeys nor values: a key others use is left.
LONG DeleteIfEmpty(const std::wstring& path)
{
    DWORD subkeys = 0;
    DWORD values = 0;
    {
        RegistryKey key;
        LONG code = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.out());
        if (code == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;
        if (code == ERROR_SUCCESS)
            code = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                    nullptr, &values, nullptr, nullptr, nullptr, nullptr);
        if (code != ERROR_SUCCESS)
            return code;
    }
    if (subkeys != 0 || values != 0)
        return ERROR_SUCCESS;
    return RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

bool IsGone(LONG code) { return code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND; }

// Removes the application's entry and the program from each type's open-with list; the
// Applications key, lists and type keys that become empty go too. *found tells whether anything was there.
bool RemoveEntries(bool* found)
{
    *found = false;
    LONG code = RegDeleteTreeW(HKEY_CURRENT_USER, kApplication);
    *found = code == ERROR_SUCCESS;
    if (!IsGone(code)) {
        ReportFailure("remove", kApplication, code);
        return false;
    }
    code = DeleteIfEmpty(kApplications);
    if (code != ERROR_SUCCESS) {
        ReportFailure("remove", kApplications, code);
        return false;
    }
    for (const wchar_t* type : kTypes) {
        const std::wstring entry = OpenWithEntry(type);
        code = RegDeleteKeyW(HKEY_CURRENT_USER, entry.c_str());
        *found = *found || code == ERROR_SUCCESS;
        if (!IsGone(code)) {
            ReportFailure("remove", entry, code);
            return false;
        }
        const std::wstring typeKey = std::wstring(kClasses) + type;
        for (const std::wstring& path : {typeKey + L"\\OpenWithList", typeKey}) {
            code = DeleteIfEmpty(path);
            if (code != ERROR_SUCCESS) {
                ReportFailure("remove", path, code);
                return false;
            }
        }
    }
    return true;
}

bool WriteEntries(const std::wstring& command)
{
    const std::wstring application(kApplication);
    if (!WriteValue(application, L"FriendlyAppName", L"glowview") ||
        !WriteValue(application + L"\\shell\\open\\command", L"", command))
        return false;
    for (const wchar_t* type : kTypes) {
        if (!WriteValue(application + L"\\SupportedTypes", type, L"") ||
            !WriteValue(OpenWithEntry(type), nullptr, L""))
            return false;
    }
    return true;
}

// Tells Explorer that file associations changed, so "Open with" shows it at once.
void NotifyShell() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

}  // namespace

int RegisterOpenWith()
{
    const std::wstring program = ProgramPath();
    if (program.empty()) {
        std::fprintf(stderr, "glowview: cannot register: the program's own path is unknown\n");
        return 1;
    }
    const std::wstring command = L"\"" + program + L"\" \"%1\"";
    if (!WriteEntries(command)) {
        bool found = false;
        RemoveEntries(&found);  // what was written is taken back
        return 1;
    }
    NotifyShell();
    std::printf("glowview: added to Open with for %s (this user only)\n", kTypeList);
    std::printf("glowview: %s%s opens %s\n", kRoot, ToUtf8(kApplication).c_str(),
                ToUtf8(command).c_str());
    return 0;
}

int UnregisterOpenWith()
{
    bool found = false;
    if (!RemoveEntries(&found))
        return 1;
    NotifyShell();
    if (found)
        std::printf("glowview: removed from Open with for %s (this user only)\n", kTypeList);
    else
        std::printf("glowview: was not in Open with; nothing to remove\n");
    return 0;
}
