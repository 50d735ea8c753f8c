// Identifiers shared by the resource script and the code.
#pragma once

#define RID_TITLE_TEXT 103
#define RID_ABOUT_DIALOG 103
#define CMD_ABOUT 104
#define CMD_EXIT 105
#define RID_LARGE_ICON 107
#define RID_SMALL_ICON 108
#define RID_CLASS_TEXT 109
#define RID_MAIN_MENU 109
#define RID_ABOUT_ICON 128
