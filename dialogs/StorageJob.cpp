#include "dialogs/StorageJob.h"

#include <QCoreApplication>
#include <optional>

#include "dialogs/ProgressDialog.h"

namespace tamboro::dialogs {

engine::SongResult RunStorageJob(ProgressDialog& progress, platform::MessageLoop& loop,
                                 const StorageStart& start,
                                 const std::function<void(ProgressDialog&)>& reported) {
    engine::SongStorage storage(loop);
    const QMetaObject::Connection cancel = QObject::connect(
        &progress, &ProgressDialog::cancelRequested, [&storage] { storage.Cancel(); });
    std::optional<engine::SongResult> result;
    const engine::SongResult started = start(
        storage,
        [&progress, &reported](int phase, int channel, int percent) {
            progress.Report(phase, channel, percent);
            if (reported) reported(progress);
        },
        [&result](engine::SongResult r) { result = r; });
    if (started != engine::SongResult::Ok) {
        result = started;
    } else if (progress.Cancelled()) {
        // Pressed while the job was being prepared, before it could stop.
        storage.Cancel();
    }
    while (!result)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QObject::disconnect(cancel);
    return *result;
}

}  // namespace tamboro::dialogs
