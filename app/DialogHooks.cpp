#include "app/DialogHooks.h"

#include "app/CMainFrame.h"
#include "audio/files/SoundFile.h"
#include "audio/wave/SoundResult.h"
#include "dialogs/FilesDialog.h"
#include "dialogs/PreferencesDialog.h"
#include "dialogs/SongDialogs.h"
#include "dialogs/WaveFileDialogs.h"
#include "engine/SongTypes.h"

namespace tamboro::app {

dialogs::FilesContext FilesContextOf(CMainFrame& frame) {
    dialogs::FilesContext ctx;
    ctx.song = &frame.Song();
    ctx.loop = &frame.Loop();
    ctx.settings = &frame.Store();
    ctx.background = frame.BackgroundTexture();
    ctx.songPath = [&frame] { return frame.SongPath(); };
    ctx.setSongPath = [&frame](const std::string& p) {
        frame.SetSongPath(p);
        frame.RefreshTitle();
    };
    ctx.showError = [&frame](const std::string& text) { frame.ShowError(text); };
    ctx.notice = [&frame](unsigned titleId, unsigned textId) {
        return frame.Notice(titleId, textId);
    };
    ctx.songChanged = [&frame](bool saved) { frame.SongChanged(saved); };
    ctx.reapplyOutput = [&frame] { frame.ReapplyOutputFormat(); };
    ctx.restartDevice = [&frame] { frame.RestartDevice(); };
    ctx.progressReported = [&frame](dialogs::ProgressDialog& progress) {
        if (frame.progressReported) frame.progressReported(progress);
    };
    ctx.openSong = [&frame](const std::string& path, bool mixOnly) {
        return frame.OpenSongFile(path, true, mixOnly);
    };
    return ctx;
}

void InstallDialogs(CMainFrame& frame) {
    frame.filesDialog = [](CMainFrame& f) {
        dialogs::FilesDialog dialog(FilesContextOf(f), &f);
        dialog.exec();
    };
    frame.saveSongDialog = [](CMainFrame& f) {
        dialogs::FilesDialog dialog(FilesContextOf(f), &f);
        return dialog.SaveSong();
    };
    frame.preferencesDialog = [](CMainFrame& f, Preferences& next) {
        std::vector<std::string> devices;
        if (audio::OutputDevice* device = f.Device(); device != nullptr) {
            for (int i = 0; i < device->DeviceCount(); ++i)
                devices.push_back(device->DeviceName(i));
        }
        dialogs::PreferencesDialog dialog(f.Store(), std::move(devices), &f);
        if (dialog.exec() != QDialog::Accepted) return false;
        next = dialog.Values();
        return true;
    };
    frame.waveOpenDialog = [](CMainFrame& f, std::string& path, bool& effect) {
        dialogs::WaveOpenDialog dialog(f.Device(), f.Store(), &f);
        if (dialog.exec() != QDialog::Accepted) return false;
        path = dialog.ChosenPath();
        effect = dialog.Effect();
        f.loadStretch = dialog.Stretch();
        return !path.empty();
    };
    frame.waveSaveDialog = [](CMainFrame& f, const std::string& name, std::string& path) {
        const auto loop = f.Song().OpenChannelSource(f.CurrentChannel(), true);
        if (!loop || loop->Format() == nullptr) return false;
        dialogs::WaveSaveDialog dialog(name, *loop->Format(), &f);
        if (dialog.exec() != QDialog::Accepted) return false;
        path = dialog.ChosenPath();
        if (dialog.HasFormat()) f.saveLoopFormat = dialog.Format();
        return !path.empty();
    };
    frame.renameDialog = [](CMainFrame& f, std::string& name) {
        dialogs::RenameDialog dialog(name, f.BackgroundTexture(), &f);
        if (dialog.exec() != QDialog::Accepted) return false;
        name = dialog.Name();
        return true;
    };
}

}  // namespace tamboro::app
