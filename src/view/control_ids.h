// Identifiers of the main window and its controls, part of the view seam.
// Shared by the core, which addresses controls through the view operations,
// by the front ends, and by the resource script, so this file holds plain
// #defines only.
#ifndef CORVELLE_VIEW_CONTROL_IDS_H
#define CORVELLE_VIEW_CONTROL_IDS_H

#define IDD_MAIN 103

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

#define IDC_SENSOR_TYPE 1000
#define IDC_INPUT_MAX 1004
#define IDC_OUTPUT_TYPE 1005
#define IDC_ERROR_OUTPUT 1006
#define IDC_INPUT_MIN 1007
#define IDC_CONNECT 1011
#define IDC_MIN_SIGN 1015
#define IDC_READ_SENSOR 1017
#define IDC_MESSAGE 1018
#define IDC_CHOICE 1019
#define IDC_READ_MIN 1020
#define IDC_READ_SETTING 1021
#define IDC_READ_MAX 1022
#define IDC_READ_MAX_SIGN 1025
#define IDC_PORT_NAME 1026
#define IDC_READ_MIN_SIGN 1027
#define IDC_READ_COLD_PORT 1037
#define IDC_CALIBRATE_COLD_PORT 1040
#define IDC_COLD_PORT_TEMP 1047

#endif
