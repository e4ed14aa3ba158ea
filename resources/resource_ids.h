// Resource ids shared by the resource script and the program.
#pragma once

#define IDR_DEFAULT_CONFIGURATION 179
#define TARVOLIN_DEFAULT_CONFIGURATION_TYPE "RT_RCDATA"

// Built-in translation tables (".lan" text, UTF-8) under the resource type "LANGUAGE".
#define IDR_TRANSLATION_TRADITIONAL_CHINESE 147
#define IDR_TRANSLATION_SIMPLIFIED_CHINESE 150
#define TARVOLIN_TRANSLATION_TYPE "LANGUAGE"

// The e-book host window: dialog, its controls, the program icon and the tray menu.
#define IDI_PROGRAM 141
#define IDD_HOST_WINDOW 180
#define IDC_HOST_STATUS_TEXT 171
#define IDC_HOST_BROWSER 172
#define IDC_HOST_BACKGROUND 174
#define IDM_HOST_TRAY 198
#define ID_HOST_TRAY_OPEN 32774
#define ID_HOST_TRAY_EXIT 32775

// The push-message pop-up: its page, the script library and the close button
// pictures the page loads by number ("res:/JS/#2001", "res:/PIC/#2002"), and
// the empty dialog the page fills.
#define IDR_PUSH_PAGE 2000
#define IDR_PUSH_SCRIPT 2001
#define IDR_PUSH_CLOSE 2002
#define IDR_PUSH_CLOSE_HOVER 2003
#define IDD_PUSH_POPUP 2004

// The tray window, the .NET Framework download dialog and the download block view.
#define IDD_UPDATER_ICON 175
#define IDB_TRAY_BACKGROUND 176
#define IDB_TRAY_CLOSE 178
#define IDD_DOWN_DOTNET 184
#define IDC_DOTNET_BLOCKS 144
#define IDB_BLOCK_PENDING 1054
#define IDB_BLOCK_DONE 1055
