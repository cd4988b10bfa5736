// Resource and control identifiers shared by oapanel.rc, the win32 backend and the
// end-to-end test driver (which finds controls with GetDlgItem).
#pragma once

#define IDI_APP 1
#define IDI_TRAY_STOPPED 101
#define IDI_TRAY_RUNNING 102

#define IDS_APP_TITLE 201
#define IDS_CONTACT_LINE 202
#define IDS_MAKER_URL 203

// Controls of the main window, numbered in the order of the designed form. Outside tools
// find them by these numbers.
#define IDC_cmdOA 1001
#define IDC_cmdExit 1002
#define IDC_cmdAdvance 1003
#define IDC_lstView 1004
#define IDC_cmdCheckPort 1005
#define IDC_cmdTomcat 1006
#define IDC_cmdMysql 1007
#define IDC_cmdMysqlStart 1008
#define IDC_cmdMysqlStop 1009
#define IDC_lblTomcat 1010
#define IDC_lblMysql 1011
#define IDC_lblOA 1012
#define IDC_lblBrackwen 1013
#define IDC_picTrayEvents 1014
#define IDC_picSpare 1015
#define IDC_cmdConnect 1016
#define IDC_picStopped 1017
#define IDC_picRunning 1018
#define IDC_chkAuto 1019
#define IDC_cmdStop 1020
#define IDC_cmdStart 1021
#define IDC_lblIP 1022
#define IDC_lblAddressTitle 1023
#define IDC_cmdReinstall 1024
#define IDC_cmdCheckService 1025
#define IDC_tmStart 1026
#define IDC_tmTray 1027
#define IDC_tmProbe 1028

// Pop-up menu of the tray icon.
#define IDM_open 2001
#define IDM_restart 2002
#define IDM_exit 2003
