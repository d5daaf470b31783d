#include "console/logic/ConsoleController.h"

#include "console/logic/BeatIndicator.h"
#include "console/logic/SongUndo.h"
#include "engine/Song.h"

namespace tamboro::console {

ConsoleController::ConsoleController(engine::Song& song) : m_song(song) {
    m_song.SetLiveListener(this);
    MarkAllDirty();
}

ConsoleController::~ConsoleController() {
    m_song.SetLiveListener(nullptr);
}

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
    if (m_song.IsChannelPlaying(ch)) {
        m_song.SwitchChannelOff(ch);
    } else if (m_song.IsEffect(ch)) {
        // An effect plays once: the live mix stops it at its end, a pending
        // switch like an in-time one (and cancelled the same way).
        if (const auto generation = m_pending.Schedule(ch)) {
            if (m_song.SwitchEffectOn(ch) == engine::SongResult::Ok) {
                Track(ch, *generation);
            } else {
                m_pending.Cancel(ch);
            }
        }
    } else {
        m_song.SwitchChannelOn(ch);
    }
    SetCurrentChannel(ch);
    m_dirty.text = true;
    m_dirty.pads[static_cast<std::size_t>(ch)] = true;
}

void ConsoleController::Track(int ch, std::uint32_t generation) {
    m_inflight[static_cast<std::size_t>(ch)].push_back({generation, m_song.Meters().blocks});
    m_dirty.pads[static_cast<std::size_t>(ch)] = true;
}

void ConsoleController::Resolve(int ch) {
    auto& queue = m_inflight[static_cast<std::size_t>(ch)];
    if (queue.empty()) return;
    const std::uint32_t generation = queue.front().generation;
    queue.pop_front();
    m_pending.Complete(ch, generation);  // false for one the console cancelled
    m_dirty.pads[static_cast<std::size_t>(ch)] = true;
}

void ConsoleController::ResolveSilentlyDropped() {
    const std::uint64_t blocks = m_song.Meters().blocks;
    for (int ch = 0; ch < kChannels; ++ch) {
        auto& queue = m_inflight[static_cast<std::size_t>(ch)];
        // The render call running when the request was sent may not have
        // taken it; the next one has.
        if (!queue.empty() && blocks >= queue.front().blocks + 2 && !m_song.IsSwitchPending(ch))
            Resolve(ch);
    }
}

void ConsoleController::TimedSwitch(int ch) {
    if (ch < 0 || ch >= kChannels || m_pending.IsPending(ch)) return;
    if (m_song.TimeToLoopStart(ch) == 0) {
        Toggle(ch);  // the boundary is now (or no clock runs): no blinking
        return;
    }
    const auto generation = m_pending.Schedule(ch);
    if (!generation) return;
    if (m_song.SwitchChannelInTime(ch, !m_song.IsChannelPlaying(ch)) == engine::SongResult::Ok) {
        Track(ch, *generation);
    } else {
        m_pending.Cancel(ch);
    }
}

bool ConsoleController::Cancel(int ch) {
    if (!m_pending.Cancel(ch)) return false;
    m_song.CancelChannelInTime(ch);
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
    return ChoosePadPicture(m_song.IsChannelEmpty(ch), m_song.IsChannelPlaying(ch) != 0,
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
    m_song.StopMixAtRest();
    // The live mix drops its pending switches and reports each one; those
    // reports then resolve requests whose generation has moved on.
    m_pending.ClearAll();
    m_dirty.pads.fill(true);
    m_dirty.knobs.fill(true);
    m_dirty.text = m_dirty.modes = m_dirty.master = true;
}

void ConsoleController::Record() {
    // Stopping drops every pending start, the console's as well: a pad that
    // blinked before the recording would otherwise start in the middle of it.
    m_song.StopMix();
    m_pending.ClearAll();
    MarkAllDirty();
    // A take is one undo step: undone whole, the mix before it comes back.
    if (m_undo != nullptr) {
        m_undo->StartRecording();
    } else {
        m_song.StartRecording();
    }
}

void ConsoleController::Tick() {
    m_song.PollLive();
    ResolveSilentlyDropped();
    ++m_blink;
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
    s.channelEmpty = m_song.IsChannelEmpty(m_current);
    s.channelName = m_song.GetChannelName(m_current);
    s.volume = m_song.GetChannelVolume(m_current);
    s.pan = m_song.GetChannelPan(m_current);
    return s;
}

std::string ConsoleController::TooltipOf(int ch) const {
    return TooltipText(m_song.IsChannelEmpty(ch), m_song.GetChannelName(ch));
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

void ConsoleController::MarkChannelDirty(int ch) {
    if (ch < 0) {
        m_dirty.pads.fill(true);
    } else if (ch < kChannels) {
        m_dirty.pads[static_cast<std::size_t>(ch)] = true;
    }
    m_dirty.text = true;
}

MeterLengths ConsoleController::MeterNow() const {
    const engine::LevelMeter m = m_song.Meters().master;
    return MeterLengthsOf(m.minLeft, m.maxLeft, m.minRight, m.maxRight);
}

int ConsoleController::BeatNow() const {
    if (m_song.PlayingCount() == 0) return -1;
    const std::uint64_t period = m_song.ClockPeriod().count;  // eight bars
    return BeatOf(m_song.ClockPosition().count, static_cast<std::uint32_t>(period / 8));
}

void ConsoleController::OnLiveNotice(engine::LiveNotice n) {
    const int ch = n.channel;
    const bool valid = ch >= 0 && ch < kChannels;
    const auto i = static_cast<std::size_t>(valid ? ch : 0);
    switch (n.kind) {
        case engine::LiveNotice::kSwitched:
            if (!valid) break;
            if (n.inTime) Resolve(ch);
            m_dirty.pads[i] = true;
            m_dirty.text = true;
            break;
        case engine::LiveNotice::kCancelled:
            if (valid) Resolve(ch);
            break;
        case engine::LiveNotice::kPlayed:
            if (n.event.kind == engine::kChannelOn || n.event.kind == engine::kChannelOff) {
                if (valid) m_dirty.pads[i] = true;
            } else if (n.event.kind == engine::kVolume || n.event.kind == engine::kPan) {
                if (valid) m_dirty.knobs[i] = true;
            } else if (n.event.kind == engine::kMasterVolume) {
                m_dirty.master = true;
            }
            m_dirty.text = true;
            break;
        case engine::LiveNotice::kPlaybackEnded:
            Stop();
            break;
        case engine::LiveNotice::kTakeEnded:
            MarkAllDirty();
            break;
        case engine::LiveNotice::kRecorded:
        case engine::LiveNotice::kDropped:
            break;
    }
}

}  // namespace tamboro::console
