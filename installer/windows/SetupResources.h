#pragma once

// The icon and dialog templates of setup.rc and the ids of their controls.
#define IDI_SETUP 1

#define IDD_FOLDER 100
#define IDD_AGREEMENT 101
#define IDD_PROGRESS 102

#define IDC_FOLDER_EDIT 1000
#define IDC_BROWSE 1001
#define IDC_PROGRESS_BAR 1002
#define IDC_STATUS 1003
#define IDC_AGREEMENT_TEXT 1004
