#include "console/logic/ConsoleController.h"

#include "audio/timer/TempoTimer.h"
#include "engine/Song.h"

namespace tamboro::console {

ConsoleController::ConsoleController(engine::Song& song, platform::MessageLoop& loop)
    : m_song(song),
      m_target(loop.CreateTarget([this](std::uint32_t m, platform::WParam w, platform::LParam l) {
          return OnMessage(m, w, l);
      })),
      m_timer(std::make_unique<audio::TempoTimer>(2)) {
    MarkAllDirty();
}

ConsoleController::~ConsoleController() = default;

void ConsoleController::SetCurrentChannel(int ch) {
    if (ch < 0 || ch >= kChannels || ch == m_current) return;
    m_current = ch;
    m_dirty.text = true;
}

bool ConsoleController::MixRuns() const {
    return m_song.IsPlayingBack() || m_song.IsRecording();
}

void ConsoleController::Toggle(int ch) {
    if (ch < 0 || ch >= kChannels) return;
    if (m_song.IsChannelPlaying(ch) != 0) {
        m_song.SwitchChannelOff(ch);
    } else if (m_song.SwitchChannelOn(ch) == engine::SongResult::Ok && m_song.IsEffect(ch) != 0) {
        // An effect plays once: its stop is a switch scheduled for its end.
        ScheduleAfter(ch, m_song.GetPreparedLength(ch));
    }
    SetCurrentChannel(ch);
    m_dirty.text = true;
    m_dirty.pads[static_cast<std::size_t>(ch)] = true;
}

void ConsoleController::ScheduleAfter(int ch, std::uint32_t delayMs) {
    const auto generation = m_pending.Schedule(ch);
    if (!generation) return;
    m_timer->PostAfter(m_target.get(), kMsgTimedSwitch, static_cast<platform::WParam>(ch),
                       static_cast<platform::LParam>(*generation), delayMs < 1 ? 1 : delayMs);
    m_dirty.pads[static_cast<std::size_t>(ch)] = true;
}

void ConsoleController::TimedSwitch(int ch) {
    if (ch < 0 || ch >= kChannels || m_pending.IsPending(ch)) return;
    const std::uint32_t delay = m_song.TimeToLoopStart(ch);
    if (delay == 0) {
        Toggle(ch);
        return;
    }
    ScheduleAfter(ch, delay);
}

bool ConsoleController::Cancel(int ch) {
    if (!m_pending.Cancel(ch)) return false;
    m_dirty.pads[static_cast<std::size_t>(ch)] = true;
    return true;
}

bool ConsoleController::OnCommand(unsigned command) {
    if (command >= kCommandSwitchFirst && command < kCommandSwitchFirst + kChannels) {
        if (!m_song.IsPlayingBack()) Toggle(static_cast<int>(command - kCommandSwitchFirst));
        return true;
    }
    if (command >= kCommandTimedFirst && command < kCommandTimedFirst + kChannels) {
        if (!m_song.IsPlayingBack()) TimedSwitch(static_cast<int>(command - kCommandTimedFirst));
        return true;
    }
    return false;
}

ConsoleArea ConsoleController::OnLeftDown(int x, int y, bool shift) {
    if (!m_song.IsPlayingBack()) {
        const int ch = PadAt(x, y);
        if (ch >= 0) {
            if (!shift) {
                Toggle(ch);
            } else if (!Cancel(ch)) {
                TimedSwitch(ch);
            }
        }
    }
    const ConsoleArea area = AreaAt(x, y);
    switch (area) {
        case ConsoleArea::VolumeMode:
            SetMode(KnobMode::Volume);
            break;
        case ConsoleArea::PanMode:
            SetMode(KnobMode::Balance);
            break;
        case ConsoleArea::Master:
            ApplyMaster(MasterValueAt(y));
            m_masterDragging = true;
            m_song.SetMasterHeld(true);
            break;
        case ConsoleArea::Power:
        case ConsoleArea::None:
            break;
    }
    return area;
}

void ConsoleController::OnMasterDrag(int y) {
    if (m_masterDragging) ApplyMaster(MasterValueAt(y));
}

void ConsoleController::OnLeftUp() {
    if (!m_masterDragging) return;
    m_masterDragging = false;
    m_song.SetMasterHeld(false);
}

void ConsoleController::OnRightDown(int x, int y) {
    if (m_song.PlayingCount() <= 0 || !m_settings.rightClickDelayStart || m_song.IsPlayingBack())
        return;
    for (int ch = 0; ch < kChannels; ++ch) {
        if (!PadRect(ch).Contains(x, y)) continue;
        if (Cancel(ch)) continue;
        TimedSwitch(ch);
        break;
    }
}

bool ConsoleController::PrepareChannelMenu(int x, int y) {
    const int ch = PadAt(x, y);
    if (ch < 0) return false;
    SetCurrentChannel(ch);
    return m_song.PlayingCount() == 0;
}

PadPicture ConsoleController::PictureOf(int ch) const {
    return ChoosePadPicture(m_song.IsChannelEmpty(ch) != 0, m_song.IsChannelPlaying(ch) != 0,
                            m_pending.IsPending(ch), m_blink);
}

void ConsoleController::SetMode(KnobMode mode) {
    m_mode = mode;
    m_dirty.modes = true;
    m_dirty.knobs.fill(true);
}

int ConsoleController::KnobPositionOf(int ch) const {
    return KnobPosition(m_mode, m_song.GetChannelVolume(ch), m_song.GetChannelPan(ch));
}

int ConsoleController::BeginKnobDrag(int ch) {
    SetCurrentChannel(ch);
    m_dirty.text = true;
    if (m_mode == KnobMode::Volume) {
        m_song.SetVolumeHeld(ch, true);
    } else {
        m_song.SetPanHeld(ch, true);
    }
    return KnobPositionOf(ch);
}

void ConsoleController::ApplyKnob(int ch, int position) {
    if (ch < 0 || ch >= kChannels) return;
    if (m_mode == KnobMode::Volume) {
        const int v = KnobToVolume(position);
        m_song.SetChannelVolume(ch, v);
        if (!MixRuns()) m_song.SetInitialVolume(ch, v);
    } else {
        const int p = KnobToPan(position);
        m_song.SetChannelPan(ch, p);
        if (!MixRuns()) m_song.SetInitialPan(ch, p);
    }
    m_dirty.knobs[static_cast<std::size_t>(ch)] = true;
    m_dirty.text = true;
}

void ConsoleController::EndKnobDrag(int ch) {
    if (m_mode == KnobMode::Volume) {
        m_song.SetVolumeHeld(ch, false);
    } else {
        m_song.SetPanHeld(ch, false);
    }
}

int ConsoleController::MasterValue() const {
    return MasterFromAttenuation(m_song.GetMasterVolume());
}

void ConsoleController::ApplyMaster(int value) {
    const int v = MasterToAttenuation(value);
    m_song.SetMasterVolume(v);
    if (!MixRuns()) m_song.SetInitialMasterVolume(v);
    m_dirty.master = true;
}

void ConsoleController::Play() {
    m_song.StartPlayback(engine::Millis(0));
    m_dirty.text = true;
}

void ConsoleController::Stop() {
    m_song.StopMix();
    for (int ch = 0; ch < kChannels; ++ch) {
        m_song.SetChannelVolume(ch, m_song.GetInitialVolume(ch));
        m_song.SetChannelPan(ch, m_song.GetInitialPan(ch));
    }
    m_song.SetMasterVolume(m_song.GetInitialMasterVolume());
    m_pending.ClearAll();
    m_timer->CancelAll();
    m_dirty.pads.fill(true);
    m_dirty.knobs.fill(true);
    m_dirty.text = m_dirty.modes = m_dirty.master = true;
}

void ConsoleController::Record() {
    // Stopping drops every pending start, the console's as well: a pad that
    // blinked before the recording would otherwise start in the middle of it.
    m_song.StopMix();
    m_pending.ClearAll();
    m_timer->CancelAll();
    MarkAllDirty();
    m_song.StartRecording();
}

void ConsoleController::Tick() {
    ++m_blink;
    // What the audio thread did since the last tick reaches the song here;
    // a playback that ran out ends as a stop does.
    const bool wasPlaying = m_song.IsPlayingBack();
    m_song.PollLive();
    if (wasPlaying && !m_song.IsPlayingBack()) Stop();
    // A pad is repainted when its picture changes, whoever changed it: a
    // blink, an effect that ended, a loop loaded by the frame.
    for (int ch = 0; ch < kChannels; ++ch) {
        const auto i = static_cast<std::size_t>(ch);
        const PadPicture picture = PictureOf(ch);
        if (picture != m_shown[i]) m_dirty.pads[i] = true;
        m_shown[i] = picture;
    }
    if (MixRuns()) m_dirty.text = true;
}

TextPanelState ConsoleController::TextState() const {
    TextPanelState s;
    if (m_song.IsRecording()) {
        s.mix = TextPanelState::Mix::Recording;
        s.mixTimeMs = m_song.RecordingTime();
    } else if (m_song.IsPlayingBack()) {
        s.mix = TextPanelState::Mix::PlayingBack;
        s.mixTimeMs = m_song.PlaybackTime();
    }
    s.blinkCounter = m_blink;
    s.channel = m_current;
    s.channelEmpty = m_song.IsChannelEmpty(m_current) != 0;
    s.channelName = m_song.GetChannelName(m_current);
    s.volume = m_song.GetChannelVolume(m_current);
    s.pan = m_song.GetChannelPan(m_current);
    return s;
}

std::string ConsoleController::TooltipOf(int ch) const {
    return TooltipText(m_song.IsChannelEmpty(ch) != 0, m_song.GetChannelName(ch));
}

ConsoleController::Dirty ConsoleController::TakeDirty() {
    Dirty d = m_dirty;
    m_dirty = Dirty{};
    return d;
}

void ConsoleController::MarkAllDirty() {
    m_dirty.all = true;
    m_dirty.pads.fill(true);
    m_dirty.knobs.fill(true);
    m_dirty.text = m_dirty.master = m_dirty.modes = true;
}

platform::LParam ConsoleController::OnMessage(std::uint32_t message, platform::WParam w,
                                              platform::LParam l) {
    if (message == kMsgTimedSwitch) {
        const int ch = static_cast<int>(w);
        if (m_pending.Complete(ch, static_cast<std::uint32_t>(l))) Toggle(ch);
        return 1;
    }
    if (message == kMsgMixPlayback) {
        if (l == 0) {
            Stop();
            return 1;
        }
        const auto* event = reinterpret_cast<const engine::MixEvent*>(l);
        const auto ch = static_cast<std::size_t>(w) % kChannels;
        if (event->kind == engine::kChannelOn || event->kind == engine::kChannelOff) {
            m_dirty.pads[ch] = true;
        } else if (event->kind == engine::kVolume || event->kind == engine::kPan) {
            m_dirty.knobs[ch] = true;
        } else if (event->kind == engine::kMasterVolume) {
            m_dirty.master = true;
        }
        m_dirty.text = true;
        return 1;
    }
    return 0;
}

}  // namespace tamboro::console
