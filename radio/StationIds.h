#pragma once

// The radio window's controls, by the identifiers of its dialog template.
inline constexpr int kIdTitle = 1022;
inline constexpr int kIdSelectionFrame = 1098;
inline constexpr int kIdCountryLabel = 1070;
inline constexpr int kIdCountryList = 1042;
inline constexpr int kIdChannelLabel = 1092;
inline constexpr int kIdChannelSelectionFrame = 1099;
inline constexpr int kIdRandomEveryStart = 1080;
inline constexpr int kIdKeepSelected = 1081;
inline constexpr int kIdControlsFrame = 1100;
inline constexpr int kIdVolumeLabel = 1093;
inline constexpr int kIdVolumeSlider = 1085;
inline constexpr int kIdMuteBox = 1075;
inline constexpr int kIdButtonFrame = 1101;
inline constexpr int kIdShopping = 1055;
inline constexpr int kIdRandomChannel = 1086;
inline constexpr int kIdContact = 1082;
inline constexpr int kIdWebsite = 1003;
inline constexpr int kIdHelp = 1010;
inline constexpr int kIdAbout = 1005;
inline constexpr int kIdLogo = 1115;
inline constexpr int kIdUpgrade = 1129;
inline constexpr int kIdWatchTv = 1130;
inline constexpr int kIdDownload = 1084;
inline constexpr int kIdHide = 1040;
inline constexpr int kIdExit = 1123;
// Kept in the template and the settings file, never shown.
inline constexpr int kIdNonStop = 1079;
inline constexpr int kIdPlaytimeFrame = 1097;
inline constexpr int kIdStartTimeLabel = 1095;
inline constexpr int kIdHoursLabel = 1096;
inline constexpr int kIdStartHourList = 1076;
inline constexpr int kIdHourCountList = 1077;
inline constexpr int kIdSizingStrip = 1089;
// Created at run time.
inline constexpr int kIdChannelTree = 1;
inline constexpr int kIdWebBrowser = 1088;

struct StationPage
{
    int buttonId;
    const char* name;
};

// The vendor's pages the page buttons open, below RadioPagesBase.
inline constexpr StationPage kStationPages[] = {
    {kIdShopping, "shopping.php"}, {kIdContact, "contact.php"},   {kIdWebsite, "index.php"},
    {kIdHelp, "support.php"},      {kIdDownload, "download.php"}, {kIdUpgrade, "color.php"},
    {kIdWatchTv, "watchtv.php"},
};
