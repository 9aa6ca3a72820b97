// The file dialog and the default program on Windows: the common dialog and the shell.
#include "plat/desktop.h"

#include "plat/win32/wide.h"

#include <commdlg.h>
#include <shellapi.h>

using plat::win::toWide;

namespace plat {

namespace {

// "Name\0*.a;*.b\0…\0\0", as the dialog reads its filters; no extensions means every file.
std::wstring filterList(const std::vector<DialogFilter>& filters) {
    std::wstring list;
    for (const DialogFilter& f : filters) {
        list += toWide(f.name);
        list += L'\0';
        if (f.extensions.empty()) list += L"*.*";
        for (size_t i = 0; i < f.extensions.size(); ++i)
            list += (i ? L";*." : L"*.") + toWide(f.extensions[i]);
        list += L'\0';
    }
    list += L'\0';
    return list;
}

} // namespace

std::string openFileDialog(void* owner, const std::string& title,
                           const std::vector<DialogFilter>& filters) {
    std::wstring filter = filterList(filters);
    std::wstring wtitle = toWide(title);
    std::wstring file(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrTitle = wtitle.c_str();
    ofn.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return "";
    return win::toUtf8(file.c_str(), wcsnlen(file.c_str(), file.size()));
}

bool openWithDefaultProgram(const std::string& target) {
    HINSTANCE r =
        ShellExecuteW(nullptr, L"open", toWide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

} // namespace plat
