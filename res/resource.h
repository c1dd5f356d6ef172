// Resource identifiers of the panel, shared by panel.rc and the code.
#pragma once

// Icons: the class icon and its small form, eight images each.
#define IDI_PANEL 307
#define IDI_PANEL_SMALL 308

// The class menu, seen only on a window without a parent.
#define IDM_PANEL 109
#define IDM_EXIT 201

// Dialogs and their controls.
#define IDD_CLOSE_ALL 137
#define IDD_CONFIRM_CLOSE_ALL 138
#define IDD_EXECUTING 139
#define IDC_CLOSE_SYMBOL_DEALS 3
#define IDC_CLOSE_ALL_DEALS 1014
#define IDC_CONFIRM_CLOSE_ALL 1016
#define IDC_PROGRESS_LINE 1017
#define IDC_ERROR_LINE 1018

// Command identifiers of the client area's buttons.
#define IDC_CLOSE_ALL_BUTTON 1010
#define IDC_VOLUME_FIELD 1011
#define IDC_PROFIT_FIELD 1011
#define IDC_BREAK_EVEN_FIELD 1012

// Bitmaps.
#define IDB_CLOSE_BUTTON 501
#define IDB_PIN_BUTTON 502
#define IDB_SELL 503
#define IDB_BUY 505
#define IDB_SELL_PRESSED 506
#define IDB_BUY_PRESSED 507
#define IDB_SPREAD 508
#define IDB_LABEL 509
#define IDB_STRIP 511
#define IDB_ARROW_DOWN 512
#define IDB_ARROW_UP 513
#define IDB_ARROW_MASK 514

// Strings: window class names, then texts.
#define IDS_CLOSE_BUTTON_CLASS 104
#define IDS_PIN_BUTTON_CLASS 105
#define IDS_SELL_BUTTON_CLASS 106
#define IDS_BUY_BUTTON_CLASS 107
#define IDS_CLIENT_AREA_CLASS 108
#define IDS_PANEL_CLASS 109
#define IDS_SPREAD_WINDOW_CLASS 110
#define IDS_COMBO_BOX_CLASS 111
#define IDS_LABEL_CLASS 112
#define IDS_BUTTON_CLASS 114
#define IDS_SLTP_CHECK_BOX 601
#define IDS_SL 602
#define IDS_TP 603
