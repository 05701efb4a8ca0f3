// Identifiers of the program's resources and of the controls of dialog 101.
#pragma once

#define IDD_MAIN 101
#define IDI_MAIN 1

#define IDC_PATH 1001
#define IDC_BROWSE 1002
#define IDC_LOG 1003
#define IDC_INFO 1004
#define IDC_CONVERT 1005
#define IDC_EXIT 1006
#define IDC_PROGRESS 1008
