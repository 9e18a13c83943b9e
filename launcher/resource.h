// Resource and command identifiers shared by quillo.cpp and quillo.rc.
#pragma once

#define IDM_OPEN 40001
#define IDM_EXIT 40002
#define IDM_INFO 40003
#define IDC_GO 40004
