#pragma once
// Ids of commands and dialog controls, named as the dialogs and menus use them.

namespace kestrova::ids {

constexpr int kDocumentTemplate = 128;
constexpr int kIntroDialog = 133;
constexpr int kIntroProductLink = 1048;
constexpr int kIntroNextSequence = 1049;
constexpr int kIntroGotoTop = 1050;
constexpr int kBuiltinBitmap = 139;
constexpr int kIntroStartButton = 1051;

// Commands of the menu, the toolbar and the accelerators (resource 128).
constexpr int kCommandNothing = 32771;
constexpr int kCommandControlPanel = 32772;
constexpr int kCommandBackgroundColor = 32773;
constexpr int kCommandCopyImage = 32775;
constexpr int kCommandOpenProject = 32776;
constexpr int kCommandSaveProject = 32777;
constexpr int kCommandSettings = 32779;
constexpr int kCommandCheckForUpdates = 32781;
constexpr int kCommandExportAnimation = 32790;
constexpr int kCommandNew = 57600;
constexpr int kCommandOpen = 57601;
constexpr int kCommandSaveScreenshot = 57603;
constexpr int kCommandAbout = 57664;
constexpr int kCommandExit = 57665;
constexpr int kCommandHelp = 57670;
constexpr int kCommandToolbar = 59392;
constexpr int kCommandStatusBar = 59393;

// The About box (dialog 100) and the Settings dialog (101).
constexpr int kAboutDialog = 100;
constexpr int kAboutOk = 1;
constexpr int kAboutHomePage = 1001;
constexpr int kAboutForum = 1002;
constexpr int kSettingsDialog = 101;
constexpr int kSettingsApply = 1;
constexpr int kSettingsFormat = 1004;

// The "Dynamic Controls" panel (dialog 131).
constexpr int kControlPanelDialog = 131;
constexpr int kPanelOk = 1;
constexpr int kPanelWebsiteLink = 1000;
constexpr int kPanelAddKey = 1001;
constexpr int kPanelSlider1 = 1005;
constexpr int kPanelBoxStyle = 1006;
constexpr int kPanelEdit1 = 1007;
constexpr int kPanelSlider2 = 1008;
constexpr int kPanelEdit2 = 1009;
constexpr int kPanelBack = 1010;
constexpr int kPanelSlider3 = 1011;
constexpr int kPanelEdit3 = 1012;
constexpr int kPanelFront = 1013;
constexpr int kPanelTop = 1014;
constexpr int kPanelRight = 1015;
constexpr int kPanelTimeline = 1016;
constexpr int kPanelBookStyle = 1017;
constexpr int kPanelPlay = 1018;
constexpr int kPanelClearAll = 1019;
constexpr int kPanelSpine = 1020;
constexpr int kPanelBottom = 1021;
constexpr int kPanelPresets = 1022;
constexpr int kPanelNullLabel = 1023;
constexpr int kPanelUnusedEdit = 1024;
constexpr int kPanelUnusedSpin = 1025;
constexpr int kPanelAddToPresets = 1026;
constexpr int kPanelBook = 1028;
constexpr int kPanelMug = 1029;
constexpr int kPanelRotate = 1030;
constexpr int kPanelPanAndZoom = 1031;
constexpr int kPanelBox = 1032;
constexpr int kPanelImagesLabel = 1034;
constexpr int kPanelCopy = 1036;
constexpr int kPanelPaste = 1037;
constexpr int kPanelFrame = 1038;
constexpr int kPanelKeys = 1039;
constexpr int kPanelTextureScroll = 1040;
constexpr int kPanelLighting = 1041;
constexpr int kPanelScreenShot = 1042;
constexpr int kPanelSpotLight = 1043;
constexpr int kPanelScale = 1046;
constexpr int kPanelTestWebsiteLink = 1047;
constexpr int kPanelAnimationLength = 1050;
constexpr int kPanelAnimationLengthSpin = 1051;

}  // namespace kestrova::ids
