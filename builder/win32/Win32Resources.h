#pragma once

// Dialogs, controls and the icon of the Win32 builder window. Every control
// that shows a text has an id: the texts come from BuilderTexts.h.
#define IDI_PROGRAM 1

#define IDD_BUILDER 100
#define IDD_SOURCE_PICKER 101
#define IDD_PROGID 102
#define IDD_ABOUT 103

#define IDC_INPUT 1000
#define IDC_SELECT 1001
#define IDC_OUTPUT 1002
#define IDC_BROWSE_OUTPUT 1003
#define IDC_PACKAGE 1004
#define IDC_LIBRARY 1005
#define IDC_LONG_HANDLES 1006
#define IDC_HELP_BUTTON 1007
#define IDC_FULL_MAPPING 1008
#define IDC_INTRODUCTION 1009
#define IDC_INPUT_PROMPT 1010
#define IDC_INPUT_LABEL 1011
#define IDC_OUTPUT_PROMPT 1012
#define IDC_OUTPUT_LABEL 1013
#define IDC_PACKAGE_PROMPT 1014
#define IDC_PACKAGE_LABEL 1015
#define IDC_LIBRARY_PROMPT 1016
#define IDC_LIBRARY_LABEL 1017

#define IDC_FILE 1100
#define IDC_BROWSE_FILE 1101
#define IDC_LIBRARY_LIST 1102
#define IDC_LOCATE 1103
#define IDC_FILE_LABEL 1104
#define IDC_LIST_PROMPT 1105
#define IDC_LOCATE_PROMPT 1106

#define IDC_PROGID 1200
#define IDC_PROGID_LABEL 1201

#define IDC_ABOUT_VERSION 1300

// System-menu commands are multiples of 16 below 0xF000.
#define IDM_ABOUT 0x0010
