#pragma once
// The song: the program's one document. Properties, tempo, twenty channels
// each holding one loop, the recorded mix, and the binding to the output
// device through which the loops sound.
//
// Every operation runs on the owner (user-interface) thread. Operations that
// take a channel index reject anything outside 0..19: results answer 1,
// queries answer 0 or an empty text, setters ignore it.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/output/OutputDeviceInterface.h"
#include "audio/timer/TempoTimer.h"
#include "audio/wave/Wave.h"
#include "audio/wave/WaveFormat.h"
#include "base/Storage.h"
#include "base/UnfmArchive.h"
#include "engine/SongTypes.h"
#include "platform/Messages.h"

namespace tamboro::engine {

// progress(phase, channel, percent): phase 1 loading, 2 converting, 3 saving.
using ProgressFn = std::function<void(int phase, int channel, int percent)>;

class Song {
  public:
    // The callback target's message: apply a channel's next recorded events.
    static constexpr std::uint32_t kMsgApplyEvents = 0x500;

    // Creates the song's callback target on `loop` (the owner thread's loop).
    // `mainWindow` may be null; it is handed on to the offline mixer.
    explicit Song(platform::MessageLoop& loop, platform::MessageTarget* mainWindow = nullptr);
    ~Song();
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    // --- The device -------------------------------------------------------
    // Binds the song to a device it borrows (the caller keeps it alive until
    // DetachDevice) or owns. Allocates one slot per channel and one for the
    // tempo clock, then applies the device's current format. Null -> 1.
    int AttachDevice(audio::OutputDeviceInterface* device);
    int AttachDevice(std::unique_ptr<audio::OutputDeviceInterface> device);
    // Frees every slot and prepared file. Returns the borrowed device, or
    // null when the song owned it (it is destroyed) or had none.
    audio::OutputDeviceInterface* DetachDevice();
    audio::OutputDeviceInterface* Device() const { return m_device; }

    // Switches the device to another output device and format, re-prepares
    // every loaded channel and rebuilds the tempo clock. No device -> 0;
    // a format with nothing to divide by -> 1; else the first failure.
    int SetOutputFormat(int deviceIndex, const audio::WAVEFORMATEX& format, bool monoSources,
                        bool softwareMixing, const ProgressFn& progress = {});

    // --- The song as a whole ------------------------------------------------
    // Stops every slot, empties every channel (files deleted, events dropped,
    // volumes -500, pans 0), masters 0, properties empty, mode NoSong.
    void Reset();
    // Reset, then the tempo, mode Ready, and a new tempo clock.
    void NewSong(double tempo);

    const std::string& GetAuthor() const { return m_author; }
    const std::string& GetTitle() const { return m_title; }
    const std::string& GetMixedBy() const { return m_mixedBy; }
    const std::string& GetNotes() const { return m_notes; }
    void SetAuthor(std::string text) { m_author = std::move(text); }
    void SetTitle(std::string text) { m_title = std::move(text); }
    void SetMixedBy(std::string text) { m_mixedBy = std::move(text); }
    void SetNotes(std::string text) { m_notes = std::move(text); }
    double GetTempo() const { return m_tempo; }
    MixMode GetMixMode() const { return m_mixMode; }

    bool MonoSources() const { return m_monoSources; }
    bool SoftwareMixing() const { return m_softwareMixing; }
    int OutputDeviceIndex() const { return m_outputDeviceIndex; }

    // --- Channels ------------------------------------------------------------
    // 1 for a bad index or an empty channel, else 0.
    int IsChannelEmpty(int ch) const;
    std::string GetChannelName(int ch) const;
    // 1 for a bad index; the name of an empty channel can be set.
    int SetChannelName(int ch, std::string name);
    int IsEffect(int ch) const;
    // Bad index or empty channel -> 1; else sets the flag and prepares the
    // channel's loop again, returning that result.
    int SetEffect(int ch, bool on);
    // Milliseconds of the prepared loop; 0 for a bad index.
    std::uint32_t GetPreparedLength(int ch) const;
    std::uint32_t GetSourceLength(int ch) const;
    std::uint32_t GetChannelFlags(int ch) const;
    // The device slot of a channel, kNoVoice when none.
    std::uint32_t GetVoice(int ch) const;
    std::uint32_t GetClockVoice() const { return m_clockVoice; }
    const std::string& GetPreparedFile(int ch) const;
    const std::string& GetSourceFile(int ch) const;

    // The recorded mix of a channel (channel 0 also carries master events).
    const EventList& GetEvents(int ch) const;
    EventList& Events(int ch);

    // --- Loops ---------------------------------------------------------------------
    // Puts a copy of `wave` into the channel (kept in a temporary source
    // file) and prepares it, or empties the channel when `wave` is null or
    // has no samples. The channel's events are deleted either way. 1 bad
    // index; 9 the source copy could not be written; a failed preparation
    // leaves the channel empty and returns its result.
    int ReplaceChannel(int ch, const audio::Wave* wave, bool effect);
    // The channel's loop as it was loaded (from its source file or from the
    // open song file); null for a bad index, an empty channel or a failure.
    // `mapped` leaves the samples of a loop kept in its own file in that
    // file's mapping instead of copying them (for readers that only read).
    std::unique_ptr<audio::Wave> OpenChannelSource(int ch, bool mapped = false);
    // The channel's prepared loop with the channel name as its INAM text.
    std::unique_ptr<audio::Wave> OpenChannelPrepared(int ch);
    // Converts `wave` (the channel's own loop when null) to the output
    // format, fits it to whole bars unless it is an effect, writes it to a
    // new prepared file and loads that into the channel's slot. 1 bad index;
    // 8 the loop cannot be read back; 5 conversion or write failed.
    int PrepareChannel(int ch, const audio::Wave* wave);

    // The load-loop command without its dialogs: reads `path`, refuses a loop
    // longer than 20 whole seconds, names an unnamed loop after its file and,
    // for the song's first loop, offers to fit the tempo to it: `ask(164)`
    // answers the question, `tell(1015)` reports that no tempo fits. Then
    // the loop goes into the channel.
    struct LoadLoopReport {
        int fileResult = 0;     // sound-file result of reading `path` (message: ErrorTextB)
        bool tooLong = false;   // refused: message 1014
        int songResult = 0;     // result of ReplaceChannel
        bool tempoSet = false;  // the tempo was fitted to this first loop
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
            return fileResult == 0 && !tooLong && songResult == 0 && !stretchRefused &&
                   !stretchCancelled;
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

    // --- Song file and mixdown ---------------------------------------------------
    static constexpr std::uint32_t kSaveMixdown = 1;  // render the mix to a WAV file
    static constexpr std::uint32_t kSaveMixOnly = 2;  // a song file without loops
    static constexpr std::uint32_t kLoadMixOnly = 2;  // only the mix onto this song
    // Writes a song file to `path` (replacing it), or with kSaveMixdown
    // renders the mix. `format`: loops (or the rendered mix) are converted
    // to it; null keeps their own format (the mix: 44100 Hz 16-bit stereo).
    // Results 4, 5, 6, 7, 9, 11 as documented.
    int SaveSong(const std::string& path, std::uint32_t flags, const audio::WAVEFORMATEX* format,
                 const ProgressFn& progress = {});
    // Saves the whole song over `path` safely: written to a temporary file
    // in the same folder and flushed, renamed over the old file in one step,
    // then the song is loaded again from it. A failed save leaves the old
    // file and the song untouched.
    int SaveSongFile(const std::string& path, const audio::WAVEFORMATEX* format,
                     const ProgressFn& progress = {});
    // Loads a song file (or with kLoadMixOnly its mix onto this song).
    // 10 cannot be opened; 8 not a song file or damaged; 4 other archive
    // failures; a failed full load leaves an empty song at tempo 120.
    int LoadSong(const std::string& path, std::uint32_t flags, const ProgressFn& progress = {});
    // Milliseconds of the recorded mix: the latest on/off event.
    std::uint32_t MixLength() const;
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
    int GetInitialMasterVolume() const { return m_initialMasterVolume; }
    // Set while the user holds a control: playback then leaves the control
    // to the user and records the user's values in place of the old ones.
    void SetVolumeHeld(int ch, bool held);
    bool IsVolumeHeld(int ch) const;
    void SetPanHeld(int ch, bool held);
    bool IsPanHeld(int ch) const;
    void SetMasterHeld(bool held) { m_masterHeld = held; }
    bool IsMasterHeld() const { return m_masterHeld; }

    // --- Live mix -----------------------------------------------------------------
    // Starts the channel's loop in phase with the tempo clock (an effect from
    // its start). 1 bad index; 2 no device, slot or sample.
    int SwitchChannelOn(int ch);
    // 1 bad index; 2 no device; 0 otherwise (also when it was not playing).
    int SwitchChannelOff(int ch);
    int IsChannelPlaying(int ch) const;
    int PlayingCount() const;
    // The channel's play position in frames.
    std::uint32_t ChannelPosition(int ch) const;
    // Milliseconds until the channel's loop, in phase with the tempo clock,
    // next passes its start; 0 without device, sample or running clock.
    std::uint32_t TimeToLoopStart(int ch) const;

    // Recording and playback of the mix. 3 when the mix mode is not Ready.
    int StartRecording();
    // Plays the recorded mix from `startMs`. While it plays, `notify` (may
    // be null) is sent `notifyMessage` with (channel, const MixEvent*) for
    // every applied event and (0, 0) once at the end. A song without events
    // at or after `startMs` stays Ready and answers 0.
    int StartPlayback(platform::MessageTarget* notify, std::uint32_t notifyMessage,
                      std::uint32_t startMs);
    // Stops recording or playback and every channel; drops pending playback
    // messages. 0.
    int StopMix();
    bool IsPlayingBack() const { return m_mixMode == MixMode::Playing; }
    bool IsRecording() const { return m_mixMode == MixMode::Recording; }
    std::uint32_t PlaybackTime() const;
    std::uint32_t RecordingTime() const;
    // Deletes the channel's events of the kinds in `kindMask`. 1 bad index.
    int ClearEvents(int ch, std::uint32_t kindMask);

    // The main window given at construction (may be null).
    platform::MessageTarget* MainWindow() const { return m_mainWindow; }
    // The callback target that receives the scheduler's messages.
    platform::MessageTarget& CallbackTarget() const { return *m_callback; }

  private:
    static bool ValidChannel(int ch) { return ch >= 0 && ch < kChannelCount; }
    void ClearFile(std::string& path);
    void RebuildTempoClock();
    void DestroyClock();
    platform::LParam OnCallbackMessage(std::uint32_t message, platform::WParam w,
                                       platform::LParam l);
    int BindDevice(audio::OutputDeviceInterface* device);
    audio::WAVEFORMATEX PreparedFormat() const;
    int WriteSongFile(const std::string& path, bool mixOnly, const audio::WAVEFORMATEX* format,
                      const ProgressFn& progress, bool flushToDisk);
    // Writes to a temporary file beside `path`, flushes it and renames it
    // over `path`; with `reload` the song is then loaded again from it.
    int ReplaceSongFile(const std::string& path, bool mixOnly, const audio::WAVEFORMATEX* format,
                        const ProgressFn& progress, bool reload);
    // The complete WAV file image of the channel's loop as loaded (its source
    // file, or its record in the song file); null when it cannot be read.
    std::unique_ptr<base::GlobalStorage> ChannelSourceImage(int ch);
    // Whether `path` is the song file the song's loops are read from.
    bool IsOpenSongFile(const std::string& path) const;
    int Mixdown(const std::string& path, const audio::WAVEFORMATEX* format,
                const ProgressFn& progress);
    int EffectiveLevel(int ch) const;
    void Record(int ch, std::uint32_t kind, std::uint32_t channel, std::uint32_t value);
    std::uint32_t MixClock() const;
    int StartTempoClock(std::uint32_t ms);
    void StopTempoClock();
    void ScheduleApply(int ch);
    void ApplyDueEvents(int ch);
    bool HasCursor(int ch) const { return m_cursor[ch] != m_events[ch].end(); }

    platform::MessageTarget* m_mainWindow;

    std::array<EventList, kChannelCount> m_events;
    std::array<std::string, kChannelCount> m_preparedFile;
    // The song file the song was loaded from, kept open for the loops that
    // still lie in it.
    std::unique_ptr<base::UnfmArchive> m_archive;
    std::string m_archivePath;
    std::array<std::string, kChannelCount> m_sourceFile;
    std::array<std::string, kChannelCount> m_name;
    std::string m_author;
    std::string m_title;
    std::string m_mixedBy;
    std::string m_notes;
    std::array<std::uint32_t, kChannelCount> m_flags{};
    std::array<std::uint32_t, kChannelCount> m_sourceLength{};
    std::array<std::uint32_t, kChannelCount> m_preparedLength{};
    std::array<std::uint32_t, kChannelCount> m_voice{};
    std::array<int, kChannelCount> m_initialVolume{};
    std::array<int, kChannelCount> m_initialPan{};
    int m_initialMasterVolume = 0;
    std::array<int, kChannelCount> m_volume{};
    std::array<int, kChannelCount> m_pan{};
    int m_masterVolume = 0;
    bool m_masterHeld = false;
    std::array<bool, kChannelCount> m_volumeHeld{};
    std::array<bool, kChannelCount> m_panHeld{};

    std::unique_ptr<base::GlobalStorage> m_clockBuffer;
    audio::WAVEFORMATEX m_clockFormat;
    std::uint32_t m_clockVoice = kNoVoice;
    audio::OutputDeviceInterface* m_device = nullptr;
    std::unique_ptr<audio::OutputDeviceInterface> m_ownedDevice;
    bool m_monoSources = false;
    bool m_softwareMixing = false;
    int m_outputDeviceIndex = -1;
    double m_tempo = 0.0;
    MixMode m_mixMode = MixMode::NoSong;
    bool m_recordingStarted = false;
    // During playback, each channel's next event (end() when none).
    std::array<EventList::iterator, kChannelCount> m_cursor;
    // Events the user recorded by hand during this playback; the playback
    // passes over them instead of taking them for recorded values to drop.
    std::array<std::vector<const MixEvent*>, kChannelCount> m_handRecorded;
    platform::MessageTarget* m_notify = nullptr;
    std::uint32_t m_notifyMessage = 0;

    // The timer posts to the callback target, so it is declared after it and
    // destroyed (its thread joined) first.
    std::unique_ptr<platform::MessageTarget> m_callback;
    std::unique_ptr<audio::TempoTimer> m_scheduler;
    int m_mixClock = -1;  // the scheduler's stopwatch slot that measures mix time
};

}  // namespace tamboro::engine
