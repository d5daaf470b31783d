// A run of the program the autosave tests can kill: starts the frame as the
// program does (on a manual sound backend, questions answered No), opens
// the song given, changes it (a loop loaded, a title, a recorded mix), waits
// for the first automatic snapshot, writes what the song then held to the
// second file given, prints "ready" and then:
//   kill   runs on until it is killed;
//   clean  closes its window as a user would and ends.
// Usage: tamboro_autosave_driver kill|clean SONG EXPECTED LOOP
// The test sets XDG_STATE_HOME and friends and TAMBORO_AUTOSAVE_SECONDS.
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/Autosave.h"
#include "app/CConsoleApp.h"
#include "audio/output/OutputBackend.h"
#include "engine/Song.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s kill|clean SONG EXPECTED LOOP\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1], song = argv[2], expected = argv[3], loop = argv[4];
    tamboro::app::CConsoleApp app(argc, argv);
    tamboro::app::StartOptions options;
    options.registerDesktop = false;
    options.answer = [](unsigned) { return static_cast<int>(QMessageBox::No); };
    options.notice = [](unsigned, unsigned) { return true; };
    options.message = [](unsigned) {};
    options.backend = [] { return std::make_unique<tamboro::audio::ManualBackend>(); };
    if (app.InitInstance({"--no-splash", song}, options) != -1) return 3;
    tamboro::app::CMainFrame& frame = *app.Frame();
    tamboro::engine::Song& s = frame.Song();
    if (!frame.LoadLoopFile(5, loop, false, false)) return 4;
    s.SetTitle("Dopo il crash");
    s.Events(5)->push_back({0, tamboro::engine::kChannelOn, 5, 0, 0});
    s.Events(5)->push_back({2000, tamboro::engine::kChannelOff, 5, 0, 0});

    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        tamboro::app::Autosave* autosave = frame.AutosaveWriter();
        if (autosave == nullptr || autosave->Written() < 1) return;
        poll.stop();
        if (s.SaveSong(expected, 0, nullptr) != tamboro::engine::SongResult::Ok)
            QCoreApplication::exit(5);
        std::printf("ready\n");
        std::fflush(stdout);
        if (mode == "clean") QTimer::singleShot(0, &frame, [&frame] { frame.close(); });
    });
    poll.start();
    return app.exec();
}
