#pragma once

// Resource and control ids of the Windows program, shared by the code and kolvane.rc.
#define IDD_ABOUTBOX 100
#define IDD_KOLVANE_DIALOG 102
#define IDD_REMOVER_DIALOG 103
#define IDR_MAINFRAME 128
#define IDC_PROGRESS 1000
#define IDC_DESCRIPTION 1001
#define IDC_PACKAGES 1002
// The system-menu command that opens the about box; the system keeps the low four bits.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
