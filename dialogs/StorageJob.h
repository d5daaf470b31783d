#pragma once
// A song job of the engine's storage worker (load, save, mixdown) under a
// progress dialog: the dialog shows the worker's progress and its Cancel
// cancels the job. User-interface thread only.
#include <functional>

#include "engine/SongStorage.h"
#include "platform/Messages.h"

namespace tamboro::dialogs {

class ProgressDialog;

// Starts the job through `start` (on a storage whose progress and end are
// posted to `loop`, the user-interface thread's loop) and waits for its
// end, running the thread's events meanwhile, so the program stays
// responsive. `progress` is shown by the caller and stays up. `reported`
// (may be empty) is called after each progress report has been shown;
// the worker goes on only after it returns, so a Cancel pressed there stops
// the job before its next step. Returns what `start` refused with, or the
// job's end (Cancelled after Cancel).
using StorageStart = std::function<engine::SongResult(engine::SongStorage&, engine::ProgressFn,
                                                      engine::SongStorage::DoneFn)>;
engine::SongResult RunStorageJob(ProgressDialog& progress, platform::MessageLoop& loop,
                                 const StorageStart& start,
                                 const std::function<void(ProgressDialog&)>& reported = {});

}  // namespace tamboro::dialogs
