// Resource identifiers of glimmer.dll (shared by the resource script and the code).
#pragma once

#define IDD_OSD 1080        // the pop-up dialog template
#define IDC_OSD_PLATE 1000  // owner-drawn box of the background plate
#define IDC_OSD_ICON 1001   // owner-drawn box of the icon
#define IDC_OSD_TEXT 1002   // the caption box

#define IDS_BACKLIGHT_OFF 104
#define IDS_RAISE_BRIGHTNESS 105
#define IDS_TWINPAD_MODE 106
#define IDS_PAD_MODE 107
#define IDS_TOUCHPAD_OFF 108

#define RT_GLIMMER_DICTIONARY 256  // custom type of the XAML string dictionaries
