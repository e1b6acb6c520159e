// Resource and control identifiers shared by the resource script and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Templates, menu, strings, icon, animation.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDR_MENU 130
#define IDD_PROGRESS 131
#define IDR_ANIMATION 132

// Main window controls.
#define IDC_INPUT_DISPLAY 1008
#define IDC_OUTPUT_DISPLAY 1009
#define IDC_PROFILE_MAIN 1010
#define IDC_BITRATE_LIST 1011
#define IDC_PROFILE_LC 1012
#define IDC_PROFILE_SSR 1013
#define IDC_PROFILE_CUSTOM 1014
#define IDC_ENCODE 1015
#define IDC_FORMAT_DISPLAY 1016
#define IDC_SPARE_LINE 1017
#define IDC_SELECT_INPUT 1018
#define IDC_SELECT_OUTPUT 1019
#define IDC_PLAY 1020
#define IDC_OUTER_FRAME 1022
#define IDC_EXTENSIONS 1023

// Progress window controls.
#define IDC_PROGRESS_BAR 1021
#define IDC_ANIMATION 1024
#define IDC_STATUS_LINE 1025

// Commands.
#define IDM_ABOUTBOX 0xFF10
#define ID_APP_ABOUT 32773
#define ID_HELP 57670
