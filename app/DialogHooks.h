#pragma once
// Connects the main frame's commands to the program's dialogs: Files,
// preferences, the wave open and save dialogs and the rename dialog.
#include "dialogs/FilesDialog.h"

namespace tamboro::app {

class CMainFrame;

void InstallDialogs(CMainFrame& frame);
// What the Files dialog works on: the frame's song, settings and services.
dialogs::FilesContext FilesContextOf(CMainFrame& frame);

}  // namespace tamboro::app
