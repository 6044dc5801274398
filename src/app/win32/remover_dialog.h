#pragma once

#include <string>
#include <vector>

#include "app/remover_start.h"
#include "messages/messages.h"
#include "platform/files.h"
#include "platform/win32/windows_support.h"

namespace kolvane::app {

// The remover's dialog, template 103: the packages of one host, newest first, with date, state
// and size, a progress bar, Remove and Quit. Remove shows what removing the chosen package will
// do and asks once; after Yes it removes the package, reports and ends. Quit, Escape and Close
// end it untouched.
class RemoverDialog {
  public:
    // `selected`: the package chosen when it opens (its listed name or record key); the newest
    // when none matches.
    RemoverDialog(HINSTANCE instance, platform::Files& files, std::string hostPath,
                  Language language, std::string caption, std::string selected);
    RemoverDialog(const RemoverDialog&) = delete;
    RemoverDialog& operator=(const RemoverDialog&) = delete;

    // Runs the dialog until it ends.
    void DoModal();

    // 0 after Quit or a removal, otherwise the removal's exit code.
    int ExitCode() const { return m_exitCode; }

  private:
    template <typename Dialog>
    friend INT_PTR CALLBACK DialogProcOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnInitDialog();
    void FillList();
    void OnRemove();
    bool OnSysCommand(UINT id);
    std::string LoadText(int id) const;
    void SetProgress(int percent) const;

    HINSTANCE m_instance;
    platform::Files& m_files;
    std::string m_hostPath;
    Language m_language;
    std::string m_caption;
    std::string m_selected;
    HWND m_window = nullptr;
    HWND m_list = nullptr;
    HICON m_icon = nullptr;
    std::vector<PackageRow> m_rows;
    int m_exitCode = 0;
};

}  // namespace kolvane::app
