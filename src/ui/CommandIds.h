#pragma once

// The command ids of the menu, the toolbar and the accelerators. Every QAction carries its id
// (QAction::data) so commands are found and routed by id, as the menu table numbers them.
namespace velomire::app::command {

inline constexpr int fileNew = 57600;
inline constexpr int fileOpen = 57601;
inline constexpr int fileSave = 57603;
inline constexpr int fileSaveAs = 57604;
inline constexpr int exportDiskImage = 32810;
inline constexpr int importInstrument = 32811;
inline constexpr int exportSfz = 32812;
inline constexpr int openSample = 32794;
inline constexpr int fileMru1 = 57616; // recent files: 57616 and up
inline constexpr int appExit = 57665;
inline constexpr int editUndo = 57643;
inline constexpr int editRedo = 57644;
inline constexpr int editRemove = 57632;
inline constexpr int moveUp = 32801;
inline constexpr int moveDown = 32802;
inline constexpr int addSamples = 32780;
inline constexpr int sendProgram = 32785;
inline constexpr int samplerContents = 32803;
inline constexpr int mapKeysFromNames = 32800;
inline constexpr int sampleParameters = 32775;
inline constexpr int sampleLoopsEditor = 32776;
inline constexpr int options = 65535;
inline constexpr int viewToolbar = 59392;
inline constexpr int viewStatusBar = 59393;
inline constexpr int helpContents = 57667;
inline constexpr int appAbout = 57664;
// F6 and Shift+F6 move between split panes; the window has none, so they do nothing.
inline constexpr int nextPane = 57680;
inline constexpr int previousPane = 57681;

// The status bar's lock-key indicators.
inline constexpr int indicatorCaps = 59137;
inline constexpr int indicatorNum = 59138;
inline constexpr int indicatorScroll = 59139;

} // namespace velomire::app::command
