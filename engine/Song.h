#pragma once
// The song: the program's one document. Properties, tempo, twenty channels
// each holding one loop, the recorded mix, and the binding to the output
// device through which the loops sound.
//
// Every operation runs on the owner (user-interface) thread. Operations that
// take a channel index reject anything outside 0..19: results answer
// BadArgument, queries answer 0, false or an empty text, setters ignore it.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/output/OutputDeviceInterface.h"
#include "audio/wave/SoundResult.h"
#include "audio/wave/Wave.h"
#include "audio/wave/WaveFormat.h"
#include "base/Storage.h"
#include "base/UnfmArchive.h"
#include "engine/LiveMix.h"
#include "engine/SongDocument.h"
#include "engine/SongHeader.h"
#include "engine/SongTypes.h"
#include "engine/Units.h"
#include "platform/Messages.h"

namespace tamboro::engine {

// progress(phase, channel, percent): phase 1 loading, 2 converting, 3 saving.
using ProgressFn = std::function<void(int phase, int channel, int percent)>;

class Song {
  public:
    // `loop` is the owner thread's message loop. `mainWindow` may be null;
    // it is handed on to the offline mixer.
    explicit Song(platform::MessageLoop& loop, platform::MessageTarget* mainWindow = nullptr);
    ~Song();
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    // --- The device -------------------------------------------------------
    // Binds the song to a device it borrows (the caller keeps it alive until
    // DetachDevice) or owns. Allocates one slot per channel and one for the
    // tempo clock, then applies the device's current format. Null ->
    // BadArgument.
    SongResult AttachDevice(audio::OutputDeviceInterface* device);
    SongResult AttachDevice(std::unique_ptr<audio::OutputDeviceInterface> device);
    // Frees every slot and prepared file. Returns the borrowed device, or
    // null when the song owned it (it is destroyed) or had none.
    audio::OutputDeviceInterface* DetachDevice();
    audio::OutputDeviceInterface* Device() const { return m_device; }

    // Switches the device to another output device and format, re-prepares
    // every loaded channel and rebuilds the tempo clock. No device -> Ok;
    // a format with nothing to divide by -> BadArgument; else the first
    // failure.
    SongResult SetOutputFormat(int deviceIndex, const audio::WAVEFORMATEX& format, bool monoSources,
                               bool softwareMixing, const ProgressFn& progress = {});

    // --- The song as a whole ------------------------------------------------
    // Stops every slot, empties every channel (files deleted, events dropped,
    // volumes -500, pans 0), masters 0, properties empty, mode NoSong.
    void Reset();
    // Reset, then the tempo, mode Ready, and a new tempo clock.
    void NewSong(double tempo);

    const std::string& GetAuthor() const { return m_doc.author; }
    const std::string& GetTitle() const { return m_doc.title; }
    const std::string& GetMixedBy() const { return m_doc.mixedBy; }
    const std::string& GetNotes() const { return m_doc.notes; }
    void SetAuthor(std::string text) { m_doc.author = std::move(text); }
    void SetTitle(std::string text) { m_doc.title = std::move(text); }
    void SetMixedBy(std::string text) { m_doc.mixedBy = std::move(text); }
    void SetNotes(std::string text) { m_doc.notes = std::move(text); }
    double GetTempo() const { return m_doc.tempo; }
    MixMode GetMixMode() const { return m_mixMode; }

    bool MonoSources() const { return m_monoSources; }
    bool SoftwareMixing() const { return m_softwareMixing; }
    int OutputDeviceIndex() const { return m_outputDeviceIndex; }

    // --- Channels ------------------------------------------------------------
    // True for a bad index or an empty channel.
    bool IsChannelEmpty(int ch) const;
    std::string GetChannelName(int ch) const;
    // BadArgument for a bad index; the name of an empty channel can be set.
    SongResult SetChannelName(int ch, std::string name);
    bool IsEffect(int ch) const;
    // Bad index or empty channel -> BadArgument; else sets the flag and
    // prepares the channel's loop again, returning that result.
    SongResult SetEffect(int ch, bool on);
    // Milliseconds of the prepared loop; 0 for a bad index.
    std::uint32_t GetPreparedLength(int ch) const;
    std::uint32_t GetSourceLength(int ch) const;
    std::uint32_t GetChannelFlags(int ch) const;
    // The device slot of a channel, kNoVoice when none.
    std::uint32_t GetVoice(int ch) const;
    const std::string& GetPreparedFile(int ch) const;
    // The temporary file holding the loop as loaded; empty when the loop
    // still lies in the song file or the channel is empty.
    const std::string& GetSourceFile(int ch) const;

    // The document: texts, tempo, channels with their loops, and the
    // recorded mix. A copy is cheap (loops are shared) and can be restored.
    const SongDocument& Document() const { return m_doc; }
    // Brings the song back to `snapshot`, an earlier copy of Document() (the
    // undo history's): texts, tempo, levels at rest, events, and each
    // channel's loop, name and flags. A channel whose loop or effect flag
    // changes is switched off and its loop is prepared again into its
    // slot; a new tempo prepares every loop again. The live levels of
    // channels whose levels at rest change (and of the master) follow them.
    // WrongMode while TakeRunning() (nothing changes then). Otherwise the
    // whole document is taken even when a preparation fails: the first
    // failure is returned (as PrepareChannel's) and that channel stays
    // silent. Owner thread.
    SongResult RestoreDocument(const SongDocument& snapshot);
    // A recording or a playback runs, or one that was stopped has not yet
    // reached the document in full (the audio thread has not carried out
    // the stop). Restoring the document is refused then.
    bool TakeRunning() const;
    // The recorded mix of a channel (channel 0 also carries master events);
    // null for an index outside 0..19.
    const EventList* GetEvents(int ch) const { return m_doc.Events(ch); }
    EventList* Events(int ch) { return m_doc.Events(ch); }
    // The latest event of any kind (the mix editor scrolls to it); nothing
    // for an empty mix.
    std::optional<Millis> LatestEventTime() const { return m_doc.LatestEventTime(); }

    // --- Loops ---------------------------------------------------------------------
    // Puts a copy of `wave` into the channel (kept in a temporary source
    // file) and prepares it, or empties the channel when `wave` is null or
    // has no samples. The channel's events are deleted either way.
    // BadArgument bad index; TempFileFailed the source copy could not be
    // written; a failed preparation leaves the channel empty and returns its
    // result.
    SongResult ReplaceChannel(int ch, const audio::Wave* wave, bool effect);
    // The channel's loop as it was loaded (from its source file or from the
    // open song file); null for a bad index, an empty channel or a failure.
    // `mapped` leaves the samples of a loop kept in its own file in that
    // file's mapping instead of copying them (for readers that only read).
    std::unique_ptr<audio::Wave> OpenChannelSource(int ch, bool mapped = false);
    // The channel's prepared loop with the channel name as its INAM text.
    std::unique_ptr<audio::Wave> OpenChannelPrepared(int ch);
    // Converts `wave` (the channel's own loop when null) to the output
    // format, fits it to whole bars unless it is an effect, writes it to a
    // new prepared file and loads that into the channel's slot. BadArgument
    // bad index; BadSongFile the loop cannot be read back; OutOfMemory
    // conversion or write failed.
    SongResult PrepareChannel(int ch, const audio::Wave* wave);

    // The load-loop command without its dialogs: reads `path`, refuses a loop
    // longer than 20 whole seconds, names an unnamed loop after its file and,
    // for the song's first loop, offers to fit the tempo to it: `ask(164)`
    // answers the question, `tell(1015)` reports that no tempo fits. Then
    // the loop goes into the channel.
    struct LoadLoopReport {
        // Reading `path` (message: ErrorTextB).
        audio::SoundResult fileResult = audio::SoundResult::Ok;
        bool tooLong = false;                    // refused: message 1014
        SongResult songResult = SongResult::Ok;  // result of ReplaceChannel
        bool tempoSet = false;                   // the tempo was fitted to this first loop
        // With the stretch asked for: refused (message kStretchRefusedText),
        // or cancelled through the progress callback. Either way the song
        // is as it was.
        bool stretchRefused = false;
        bool stretchCancelled = false;
        // The stretch made (or refused): target / source frames and the bars
        // aimed at; 0 when no stretch was asked for. A ratio within 0.2 % of
        // 1 leaves the loop as it was.
        double stretchRatio = 0.0;
        std::uint32_t stretchBars = 0;
        bool Ok() const {
            return fileResult == audio::SoundResult::Ok && !tooLong &&
                   songResult == SongResult::Ok && !stretchRefused && !stretchCancelled;
        }
    };
    LoadLoopReport LoadLoop(int ch, const std::string& path, bool effect,
                            const std::function<bool(unsigned messageId)>& ask = {},
                            const std::function<void(unsigned messageId)>& tell = {});
    // The choices of one load: an effect channel, or a loop time-stretched
    // to whole bars at the song's tempo (never for an effect). `progress`
    // reports the stretch in percent and cancels it by answering false.
    struct LoadChoice {
        bool effect = false;
        bool stretch = false;
        std::function<bool(int percent)> progress;
    };
    LoadLoopReport LoadLoop(int ch, const std::string& path, const LoadChoice& choice,
                            const std::function<bool(unsigned messageId)>& ask = {},
                            const std::function<void(unsigned messageId)>& tell = {});

    // LoadLoop in the three steps that let a worker thread do the slow one:
    //   ReadLoop     owner thread: reads, checks and names the loop, asks the
    //                first-loop tempo question, notes the tempo to fit.
    //   StretchLoop  any thread, touches no song: the stretch, when chosen,
    //                reporting through choice.progress (which may cancel).
    //   PutLoop      owner thread: the loop goes into the channel.
    // ReadLoop and StretchLoop answer false when the load ends there (the
    // report says why); the song is then as it was.
    struct LoopLoad {
        int ch = 0;
        LoadChoice choice;
        double tempo = 0.0;                 // the tempo the loop is stretched to
        std::unique_ptr<audio::Wave> wave;  // the loop as read, then as stretched
        LoadLoopReport report;
    };
    bool ReadLoop(int ch, const std::string& path, LoadChoice choice, LoopLoad& load,
                  const std::function<bool(unsigned messageId)>& ask = {},
                  const std::function<void(unsigned messageId)>& tell = {});
    static bool StretchLoop(LoopLoad& load);
    LoadLoopReport PutLoop(LoopLoad& load);

    // --- Song file and mixdown ---------------------------------------------------
    static constexpr std::uint32_t kSaveMixdown = 1;  // render the mix to a WAV file
    static constexpr std::uint32_t kSaveMixOnly = 2;  // a song file without loops
    static constexpr std::uint32_t kLoadMixOnly = 2;  // only the mix onto this song
    // Writes a song file to `path` (replacing it), or with kSaveMixdown
    // renders the mix. `format`: loops (or the rendered mix) are converted
    // to it; null keeps their own format (the mix: 44100 Hz 16-bit stereo).
    // Results ArchiveFailed, OutOfMemory, NoMix, CreateFailed,
    // TempFileFailed, WriteFailed as documented.
    SongResult SaveSong(const std::string& path, std::uint32_t flags,
                        const audio::WAVEFORMATEX* format, const ProgressFn& progress = {});
    // Saves the whole song over `path` safely: written to a temporary file
    // in the same folder and flushed, renamed over the old file in one step,
    // then the song is loaded again from it. A failed save leaves the old
    // file and the song untouched.
    SongResult SaveSongFile(const std::string& path, const audio::WAVEFORMATEX* format,
                            const ProgressFn& progress = {});
    // Loads a song file (or with kLoadMixOnly its mix onto this song).
    // OpenFailed cannot be opened; BadSongFile not a song file or damaged;
    // ArchiveFailed other archive failures; a damaged file leaves an empty
    // song at tempo 120.
    SongResult LoadSong(const std::string& path, std::uint32_t flags,
                        const ProgressFn& progress = {});
    // A save in two halves, for a worker (SongStorage): PrepareSave takes
    // what the file needs from the song on the owner thread (the header,
    // each loaded loop's WAV image or, with a `format`, the loop itself,
    // the events and the notes); RunSave converts and writes on any thread.
    // `progress(3, ch, ch * 5)` before each channel's loop. When `cancel`
    // turns true the save stops before its next record and the file it
    // would have replaced stays as it was, with no temporary file left:
    // Cancelled. Results otherwise as SaveSong's.
    struct SaveJob {
        std::string path;
        bool mixOnly = false;
        bool hasFormat = false;
        audio::WAVEFORMATEX format;
        std::vector<std::uint8_t> header;
        std::array<std::unique_ptr<base::GlobalStorage>, kChannelCount> images;
        std::array<std::unique_ptr<audio::Wave>, kChannelCount> loops;
        std::array<std::vector<std::uint8_t>, kChannelCount> events;
        std::string notes;  // Windows-1252, as the file keeps it
    };
    SongResult PrepareSave(const std::string& path, std::uint32_t flags,
                           const audio::WAVEFORMATEX* format, SaveJob& job);
    static SongResult RunSave(SaveJob& job, const ProgressFn& progress,
                              const std::atomic<bool>* cancel, bool flushToDisk);

    // A load in three steps, for a worker (SongStorage):
    //   PrepareLoad  owner thread: notes the device's format (loops are
    //                prepared in it), touches nothing.
    //   RunLoad      any thread, touches no song: opens the file, reads and
    //                checks every record, and prepares each loop for the
    //                device in a file of its own; `progress(1, ch, ch * 5)`.
    //                Stops before the next channel when `cancel` turns true.
    //   CommitLoad   owner thread: what the worker read becomes the song and
    //                the device loads the prepared loops. Results as
    //                LoadSong's; a cancelled job answers Cancelled and the
    //                song stays exactly as it was.
    // A job dropped before its commit deletes the files it prepared.
    struct PreparedLoop {
        std::string file;                  // the loop in the device's format
        std::uint32_t sourceLength = 0;    // ms
        std::uint32_t preparedLength = 0;  // ms
        SongResult result = SongResult::Ok;
    };
    struct LoadJob {
        LoadJob() = default;
        LoadJob(const LoadJob&) = delete;
        LoadJob& operator=(const LoadJob&) = delete;
        ~LoadJob();
        std::string path;
        bool mixOnly = false;
        bool prepare = false;  // a device was attached: loops prepared in `format`
        audio::WAVEFORMATEX format;
        SongResult result = SongResult::Ok;
        bool damaged = false;  // a record is damaged: the song is emptied
        std::unique_ptr<base::UnfmArchive> archive;
        SongHeader header;
        std::array<std::vector<MixEvent>, kChannelCount> events;
        std::string notes;
        std::array<PreparedLoop, kChannelCount> loops;
    };
    void PrepareLoad(const std::string& path, std::uint32_t flags, LoadJob& job) const;
    static void RunLoad(LoadJob& job, const ProgressFn& progress, const std::atomic<bool>* cancel);
    SongResult CommitLoad(LoadJob& job);

    // A mixdown in two halves, for a worker (SongStorage): Prepare takes
    // what it needs from the song on the owner thread (the document and
    // every channel's loop in the mixing format); Run renders and writes it
    // on any thread, stopping early when `cancel` turns true (then nothing
    // is written: an old file at the path stays). Results as SaveSong's, and
    // Cancelled.
    struct MixdownJob {
        audio::WAVEFORMATEX format;  // mixing format
        bool hasOutput = false;
        audio::WAVEFORMATEX output;
        std::string path;
        std::uint32_t frames = 0;
        std::array<std::unique_ptr<audio::Wave>, kChannelCount> loops;
        SongDocument doc;
    };
    SongResult PrepareMixdown(const std::string& path, const audio::WAVEFORMATEX* format,
                              const ProgressFn& progress, MixdownJob& job);
    static SongResult RunMixdown(MixdownJob job, const ProgressFn& progress,
                                 const std::atomic<bool>* cancel);
    // Length of the recorded mix: the latest on/off event.
    Millis MixLength() const { return m_doc.MixLength(); }
    // The channel's loop converted to `format` and fitted as for playing;
    // null on failure. In the device's format it is the prepared loop the
    // device plays, otherwise ConvertChannelLoop's; the two agree.
    std::unique_ptr<audio::Wave> RenderChannelLoop(int ch, const audio::WAVEFORMATEX& format);
    // The same, always made from the channel's source.
    std::unique_ptr<audio::Wave> ConvertChannelLoop(int ch, const audio::WAVEFORMATEX& format);

    // --- Levels (attenuation units) -----------------------------------------
    // Volumes are clamped to -10000..0, pans to -10000..10000. The live
    // setters do nothing without a device; while recording (or while playing
    // back with the control held) they record the new value. The channel
    // getters answer 0 without a device.
    void SetChannelVolume(int ch, int volume);
    int GetChannelVolume(int ch) const;
    void SetChannelPan(int ch, int pan);
    int GetChannelPan(int ch) const;
    void SetMasterVolume(int volume);
    int GetMasterVolume() const { return m_masterVolume; }
    // The levels at rest, which every recording starts from and the song
    // file keeps.
    void SetInitialVolume(int ch, int volume);
    int GetInitialVolume(int ch) const;
    void SetInitialPan(int ch, int pan);
    int GetInitialPan(int ch) const;
    void SetInitialMasterVolume(int volume);
    int GetInitialMasterVolume() const { return m_doc.initialMasterVolume; }
    // Set while the user holds a control: playback then leaves the control
    // to the user and records the user's values in place of the old ones.
    void SetVolumeHeld(int ch, bool held);
    bool IsVolumeHeld(int ch) const;
    void SetPanHeld(int ch, bool held);
    bool IsPanHeld(int ch) const;
    void SetMasterHeld(bool held);
    bool IsMasterHeld() const { return m_masterHeld; }

    // --- Live mix -----------------------------------------------------------------
    // The live mix runs in the output engine's render calls (LiveMix.h): a
    // command takes effect in the audio thread at an exact frame, and what
    // it did comes back through PollLive. Switches need a device with a
    // real-time engine (OutputDevice); without one they answer NoDevice.
    //
    // Starts the channel's loop in phase with the tempo clock (an effect from
    // its start). BadArgument, NoDevice (no device, slot or sample).
    SongResult SwitchChannelOn(int ch);
    // BadArgument, NoDevice; Ok otherwise (also when it was not playing).
    SongResult SwitchChannelOff(int ch);
    // Switches on (or off) at the channel's next loop boundary; at most one
    // such switch is pending per channel. BadArgument, NoDevice.
    SongResult SwitchChannelInTime(int ch, bool on);
    // Cancels a pending in-time switch or effect self-stop. BadArgument,
    // NoDevice.
    SongResult CancelChannelInTime(int ch);
    // Switches an effect channel on and arms its self-stop at the end of its
    // prepared length (pending, cancellable). BadArgument, NoDevice.
    SongResult SwitchEffectOn(int ch);
    // As asked, until the audio thread has carried the switch out; then as
    // it last reported (after its last render call).
    bool IsChannelPlaying(int ch) const;
    bool IsSwitchPending(int ch) const;
    int PlayingCount() const;
    // The channel's play position in frames.
    std::uint32_t ChannelPosition(int ch) const;
    // Milliseconds until the channel's loop, in phase with the tempo clock,
    // next passes its start; 0 without device, sample or running clock.
    std::uint32_t TimeToLoopStart(int ch) const;
    // The tempo clock: its period (8 bars of the device rate at the song's
    // tempo) and its position, as published after the last render call.
    Frames ClockPeriod() const;
    Frames ClockPosition() const;
    // Per-channel and master levels of the last render call; lock-free.
    MeterSnapshot Meters() const;

    // Recording and playback of the mix. WrongMode when the mix mode is not
    // Ready. A recording starts from silence with the levels at rest; its
    // first switch-on is mix time 0.
    SongResult StartRecording();
    // Plays the recorded mix from `from` (a snapshot of the events now;
    // later edits do not reach this playback). A song without events at or
    // after `from` stays Ready and answers Ok.
    SongResult StartPlayback(Millis from);
    // Stops recording or playback and every channel. Ok.
    SongResult StopMix();
    // StopMix, then every channel's live volume and pan and the master go
    // back to their levels at rest (the consoles' Stop): the next play or
    // take starts from them. Ok.
    SongResult StopMixAtRest();
    // Owner thread, often (the console's tick): delivers what the audio
    // thread did since the last call to the document and to the listener.
    void PollLive();
    // Hears every notice PollLive delivers (null: nobody). Borrowed.
    void SetLiveListener(LiveListener* listener) { m_listener = listener; }
    bool IsPlayingBack() const { return m_mixMode == MixMode::Playing; }
    bool IsRecording() const { return m_mixMode == MixMode::Recording; }
    // Mix time of the running take, in ms (0 when none runs).
    std::uint32_t PlaybackTime() const;
    std::uint32_t RecordingTime() const;
    // Deletes the channel's events of the kinds in `kindMask`. BadArgument.
    SongResult ClearEvents(int ch, std::uint32_t kindMask);
    // The live mix itself (commands and state beyond the above).
    LiveMix& Live() { return *m_live; }

    // The main window given at construction (may be null).
    platform::MessageTarget* MainWindow() const { return m_mainWindow; }

  private:
    static bool ValidChannel(int ch) { return ch >= 0 && ch < kChannelCount; }
    void ClearFile(std::string& path);
    void RebuildTempoClock();
    platform::LParam OnCallbackMessage(std::uint32_t message, platform::WParam w,
                                       platform::LParam l);
    SongResult BindDevice(audio::OutputDeviceInterface* device);
    // The channel's loop is now the prepared file `file` of `preparedMs`:
    // kept, and loaded into the channel's slot.
    void InstallPrepared(int ch, std::string file, std::uint32_t preparedMs);
    audio::WAVEFORMATEX PreparedFormat() const;
    SongResult WriteSongFile(const std::string& path, bool mixOnly,
                             const audio::WAVEFORMATEX* format, const ProgressFn& progress,
                             bool flushToDisk);
    // Writes to a temporary file beside `path`, flushes it and renames it
    // over `path`; with `reload` the song is then loaded again from it.
    SongResult ReplaceSongFile(const std::string& path, bool mixOnly,
                               const audio::WAVEFORMATEX* format, const ProgressFn& progress,
                               bool reload);
    // The complete WAV file image of the channel's loop as loaded (its source
    // file, or its record in the song file); null when it cannot be read.
    std::unique_ptr<base::GlobalStorage> ChannelSourceImage(int ch);
    // Whether `path` is the song file the song's loops are read from.
    bool IsOpenSongFile(const std::string& path) const;
    SongResult Mixdown(const std::string& path, const audio::WAVEFORMATEX* format,
                       const ProgressFn& progress);
    bool LiveReady(int ch) const;
    void OnLiveNotice(const LiveNotice& notice);

    platform::MessageTarget* m_mainWindow;

    SongDocument m_doc;
    std::array<std::string, kChannelCount> m_preparedFile;
    // The song file the song was loaded from, kept open for the loops that
    // still lie in it.
    // Shared with the loops that lie in it (ChannelLoop).
    std::shared_ptr<base::UnfmArchive> m_archive;
    std::string m_archivePath;
    std::array<std::uint32_t, kChannelCount> m_voice{};
    // The live levels as the owner last set them or playback reported them.
    std::array<int, kChannelCount> m_volume{};
    std::array<int, kChannelCount> m_pan{};
    int m_masterVolume = 0;
    bool m_masterHeld = false;
    // A take was started and the live mix has not been seen idle since its
    // stop (see TakeRunning).
    bool m_takeToSettle = false;
    std::array<bool, kChannelCount> m_volumeHeld{};
    std::array<bool, kChannelCount> m_panHeld{};

    audio::OutputDeviceInterface* m_device = nullptr;
    std::unique_ptr<audio::OutputDeviceInterface> m_ownedDevice;
    bool m_monoSources = false;
    bool m_softwareMixing = false;
    int m_outputDeviceIndex = -1;
    MixMode m_mixMode = MixMode::NoSong;
    Frames m_clockPeriod;
    LiveListener* m_listener = nullptr;
    // Declared after the document it records into; detached before the
    // device goes.
    std::unique_ptr<LiveMix> m_live;
};

}  // namespace tamboro::engine
