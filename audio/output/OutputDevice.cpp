#include "audio/output/OutputDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "audio/convert/FormatAdapter.h"
#include "audio/files/SoundFile.h"
#include "audio/mixer/MixKernels.h"
#include "audio/wave/MemoryStream.h"
#include "audio/wave/SampleStreams.h"
#include "audio/wave/Wave.h"
#include "platform/Resources.h"

namespace tamboro::audio {

OutputDevice::OutputDevice(std::unique_ptr<OutputBackend> backend)
    : m_engine(SelectMixKernels()), m_backend(std::move(backend)) {
    MakePcmFormat(m_format, 22050, 8, 1);
    if (m_backend) m_devices = m_backend->Devices();
}

OutputDevice::~OutputDevice() {
    Activate(0);
    for (int s = 0; s < kSlotCount; ++s)
        Unload(s);
    m_engine.ApplyCommands();
    CollectRetired();
}

void OutputDevice::SetWindowAndFormat(const WAVEFORMATEX& format, std::uint32_t /*options*/) {
    m_format = CopyFormat(format);
}

std::uint32_t OutputDevice::GetCaps() {
    return m_backend ? m_backend->Caps(m_selectedDevice) : 0;
}

int OutputDevice::AllocSlot() {
    for (int s = 0; s < kSlotCount; ++s) {
        if (m_slots[s].instances == 0) {
            m_slots[s].instances = -1;
            return s;
        }
    }
    return -1;
}

void OutputDevice::FreeSlot(int slot) {
    if (!ValidSlot(slot)) return;
    Unload(slot);
    m_slots[slot].instances = 0;
}

int OutputDevice::LoadFile(int slot, const std::string& path, int streaming, int instances,
                           std::uint32_t flags) {
    if (!ValidSlot(slot)) return kLoadBadSlot;
    Unload(slot);
    auto storage = std::make_unique<base::MappedStorage>(0, path, false, std::string{}, true);
    if (!storage->Lock()) {
        FinishLoad(slot, kFromFile, nullptr, nullptr, streaming, instances, flags);
        Unload(slot);
        return kLoadOpenFailed;
    }
    return FinishLoad(slot, kFromFile, std::move(storage), nullptr, streaming, instances, flags);
}

int OutputDevice::LoadResource(int slot, std::string_view name, int instances,
                               std::uint32_t flags) {
    if (!ValidSlot(slot)) return kLoadBadSlot;
    Unload(slot);
    if (platform::FindResource(name, "WAVE").empty()) {
        FinishLoad(slot, kFromResource, nullptr, nullptr, 0, instances, flags);
        Unload(slot);
        return kLoadNoResource;
    }
    auto storage = std::make_unique<base::ResourceStorage>(name, "WAVE");
    storage->Lock();
    return FinishLoad(slot, kFromResource, std::move(storage), nullptr, 0, instances, flags);
}

int OutputDevice::LoadMemory(int slot, int streaming, const WAVEFORMATEX* format, const void* data,
                             std::uint32_t bytes, int instances, std::uint32_t flags) {
    if (!ValidSlot(slot) || !data) return kLoadBadSlot;
    Unload(slot);
    auto storage = std::make_unique<base::BorrowedStorage>(const_cast<void*>(data), bytes);
    return FinishLoad(slot, kFromMemory, std::move(storage), format, streaming, instances, flags);
}

int OutputDevice::FinishLoad(int slot, int kind, std::unique_ptr<base::Storage> storage,
                             const WAVEFORMATEX* format, int streaming, int instances,
                             std::uint32_t flags) {
    Slot& s = m_slots[slot];
    s.streaming = streaming != 0;
    s.instances = s.streaming ? 1 : std::clamp(instances, 1, OutputEngine::kInstances);
    s.kind = kind;
    if (!storage) return kLoadOpenFailed;
    const auto* bytes = static_cast<const std::uint8_t*>(storage->Data());
    const std::size_t size = storage->Size();
    if (format) {
        if (!IsUsableFormat(*format) || size > 0xFFFFFFFFu) {
            Unload(slot);
            return kLoadNotWave;
        }
        s.sampleFormat = CopyFormat(*format);
        s.data = bytes;
        s.dataBytes = static_cast<std::uint32_t>(size);
    } else {
        // The WAV reader's parser, borrowing the samples where they lie.
        Wave image;
        if (!ParseRiffWave(image, bytes, size) || !image.Format()) {
            Unload(slot);
            return kLoadNotWave;
        }
        s.sampleFormat = CopyFormat(*image.Format());
        s.data = image.Data();
        s.dataBytes = image.DataBytes();
    }
    s.storage = std::move(storage);
    s.flags = flags;
    s.loaded = true;
    if (m_active) MakeBuffers(slot);
    return kLoadOk;
}

void OutputDevice::Unload(int slot) {
    if (!ValidSlot(slot)) return;
    Slot& s = m_slots[slot];
    ReleaseBuffers(slot);
    s.source.reset();
    s.storage.reset();
    s.data = nullptr;
    s.dataBytes = 0;
    s.loaded = false;
    s.kind = kNotLoaded;
    s.sampleFormat = {};
}

int OutputDevice::IsLoaded(int slot) {
    return ValidSlot(slot) && m_slots[slot].loaded ? 1 : 0;
}

std::uint32_t OutputDevice::Instances(int slot) const {
    return ValidSlot(slot) && m_slots[slot].instances > 0
               ? static_cast<std::uint32_t>(m_slots[slot].instances)
               : 0;
}

// --- buffers ---------------------------------------------------------------

std::uint32_t OutputDevice::FrameToBytes(const Slot& s, std::uint64_t frame) const {
    // PCM: whole frames; compressed: by the average rate, as the platform
    // measured positions in such samples.
    const PcmLayout own = LayoutOf(s.sampleFormat);
    const std::uint64_t bytes = own != PcmLayout::None
                                    ? frame * BytesPerFrame(own)
                                    : frame * s.sampleFormat.nAvgBytesPerSec /
                                          std::max<std::uint32_t>(1, s.sampleFormat.nSamplesPerSec);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 0xFFFFFFFFu));
}

std::uint32_t OutputDevice::BytesToFrame(const Slot& s, std::uint32_t bytes) const {
    const PcmLayout own = LayoutOf(s.sampleFormat);
    if (own != PcmLayout::None) return bytes / BytesPerFrame(own);
    return static_cast<std::uint32_t>(std::uint64_t{bytes} * s.sampleFormat.nSamplesPerSec /
                                      std::max<std::uint32_t>(1, s.sampleFormat.nAvgBytesPerSec));
}

// A stream of the slot's samples as frames of the device's layout at the
// sample's own rate (the engine resamples live). PCM goes through a plain
// layout conversion; compressed samples through the conversion chain.
std::unique_ptr<ByteStream> OutputDevice::MakeSource(const Slot& s) const {
    const PcmLayout own = LayoutOf(s.sampleFormat);
    const PcmLayout device = LayoutOf(m_format);
    WAVEFORMATEX target;
    MakePcmFormat(target, s.sampleFormat.nSamplesPerSec,
                  device == PcmLayout::Mono8 || device == PcmLayout::Stereo8 ? 8 : 16,
                  m_format.nChannels);
    if (own != PcmLayout::None) {
        const std::uint32_t whole = s.dataBytes / BytesPerFrame(own) * BytesPerFrame(own);
        return MakeSampleStream(s.sampleFormat, s.data, whole, target);
    }
    auto adapter = std::make_unique<FormatAdapter>(
        s.sampleFormat, target,
        std::make_unique<MemoryStream>(std::make_unique<base::BorrowedStorage>(
            const_cast<std::uint8_t*>(s.data), s.dataBytes)));
    if (!adapter->CanConvert()) return nullptr;
    return adapter;
}

void OutputDevice::MakeBuffers(int slot) {
    Slot& s = m_slots[slot];
    if (!s.loaded || s.buffer) return;
    const PcmLayout device = LayoutOf(m_format);
    if (device == PcmLayout::None) return;
    // Samples no chain can convert get no buffer: the slot stays loaded and
    // silent, as after a failed buffer creation.
    std::unique_ptr<ByteStream> source = MakeSource(s);
    if (!source) return;
    s.deviceFormat = CopyFormat(m_format);
    auto b = std::make_unique<SlotBuffer>();
    b->layout = device;
    b->frameBytes = BytesPerFrame(device);
    b->rate = s.sampleFormat.nSamplesPerSec;
    const std::uint32_t frames = source->Length() / b->frameBytes;
    if (!s.streaming) {
        // Converted once, here: the engine only ever reads the device layout.
        b->frames.resize(std::size_t{frames} * b->frameBytes);
        std::uint32_t got = 0;
        const auto want = static_cast<std::uint32_t>(b->frames.size());
        while (got < want) {
            const std::uint32_t n = source->Read(b->frames.data() + got, want - got);
            if (n == 0) break;
            got += n;
        }
        b->frameCount = got / b->frameBytes;
    } else {
        s.source = std::move(source);
        s.sourceFrames = frames;
        b->streaming = true;
        b->frameCount = std::max<std::uint32_t>(s.sampleFormat.nSamplesPerSec, 64);  // one second
        b->frames.resize(std::size_t{b->frameCount} * b->frameBytes);
    }
    s.buffer = std::move(b);
    // The voices know their buffer before any start, so that a sequencer can
    // start them inside a render call.
    EngineCommand attach;
    attach.kind = EngineCommand::kAttach;
    attach.slot = static_cast<std::uint8_t>(slot);
    attach.instance = EngineCommand::kAllInstances;
    attach.buffer = s.buffer.get();
    Send(attach);
    s.nextInstance = -1;
    for (Instance& in : s.inst) {
        in = Instance{};
        in.frequency = s.sampleFormat.nSamplesPerSec;
    }
}

void OutputDevice::ReleaseBuffers(int slot) {
    Slot& s = m_slots[slot];
    if (!s.buffer) return;
    EngineCommand c;
    c.kind = EngineCommand::kDetach;
    c.slot = static_cast<std::uint8_t>(slot);
    c.instance = EngineCommand::kAllInstances;
    Retire(std::move(s.buffer), Send(c));
    for (Instance& in : s.inst)
        in.playing = false;
}

void OutputDevice::Retire(std::unique_ptr<SlotBuffer> buffer, std::uint32_t seq) {
    m_retired.emplace_back(seq, std::move(buffer));
    CollectRetired();
}

bool OutputDevice::Applied(std::uint32_t seq) const {
    return static_cast<std::int32_t>(m_engine.AppliedSeq() - seq) >= 0;
}

void OutputDevice::CollectRetired() {
    std::erase_if(m_retired, [this](const auto& r) { return Applied(r.first); });
}

bool OutputDevice::ConsumerRuns() const {
    return m_backend && m_backend->IsOpen();
}

std::uint32_t OutputDevice::Send(const EngineCommand& command) {
    for (int attempt = 0;; ++attempt) {
        const std::uint32_t seq = m_engine.Push(command);
        if (seq != 0) {
            // Nobody renders: this thread is the consumer.
            if (!ConsumerRuns()) m_engine.ApplyCommands();
            return seq;
        }
        if (!ConsumerRuns() || !m_backend->Threaded()) {
            m_engine.ApplyCommands();
            continue;
        }
        // The audio thread drains the ring every block; when it has not for a
        // long while the device is gone: close it (the next Play reopens).
        if (attempt > 200 || m_backend->Lost()) {
            m_backend->Close();
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void OutputDevice::WaitApplied(std::uint32_t seq) {
    for (int attempt = 0; !Applied(seq); ++attempt) {
        if (!ConsumerRuns() || !m_backend->Threaded()) {
            m_engine.ApplyCommands();
            continue;
        }
        if (attempt > 200 || m_backend->Lost()) {
            m_backend->Close();
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool OutputDevice::SetSequencer(BlockSequencer* sequencer, std::uint64_t meteredSlots) {
    EngineCommand c;
    c.kind = EngineCommand::kSetSequencer;
    c.sequencer = sequencer;
    c.meteredSlots = meteredSlots;
    WaitApplied(Send(c));
    return true;
}

// --- activation ------------------------------------------------------------

bool OutputDevice::Open() {
    if (!m_backend) return false;
    m_engine.ApplyCommands();  // still the consumer here
    if (!m_engine.Configure(m_format)) return false;
    const std::uint32_t want =
        std::max<std::uint32_t>(64, m_format.nSamplesPerSec * kWantedBufferMs / 1000);
    std::uint32_t granted = 0;
    if (!m_backend->Open(m_selectedDevice, m_format, want, &OutputEngine::RenderCallback, &m_engine,
                         granted)) {
        return false;
    }
    m_grantedFrames = granted;
    return true;
}

void OutputDevice::Close() {
    if (m_backend) m_backend->Close();
    m_engine.ApplyCommands();  // the owner consumes again
}

void OutputDevice::Activate(int on) {
    if ((on != 0) == m_active) return;
    if (on) {
        if (!Open()) return;  // no device: stays inactive, silently
        m_active = true;
        for (int s = 0; s < kSlotCount; ++s)
            MakeBuffers(s);
    } else {
        StopAll();
        Close();
        for (int s = 0; s < kSlotCount; ++s)
            ReleaseBuffers(s);
        m_engine.ApplyCommands();
        CollectRetired();
        m_active = false;
    }
}

void OutputDevice::Reopen() {
    Activate(0);
    Activate(1);
}

// --- playing ---------------------------------------------------------------

void OutputDevice::Play(int slot, std::int32_t position, int pan, int volume, int frequency,
                        int loop) {
    if (!ValidSlot(slot) || !m_active) return;
    // A vanished device counts as lost buffers: reopen and rebuild once.
    if (m_backend && (m_backend->Lost() || !m_backend->IsOpen())) {
        Reopen();
        if (!m_active) return;
    }
    Slot& s = m_slots[slot];
    if (!s.buffer) return;
    EngineCommand c;
    c.kind = EngineCommand::kPlay;
    c.slot = static_cast<std::uint8_t>(slot);
    int index = 0;
    if (!s.streaming) {
        s.nextInstance = (s.nextInstance + 1) % std::max(1, s.instances);
        index = s.nextInstance;
        if (position != -1 && position >= 0 && static_cast<std::uint32_t>(position) < s.dataBytes) {
            c.frame = BytesToFrame(s, static_cast<std::uint32_t>(position));
        }
        c.loop = loop != 0;
    } else {
        Stop(slot);
        s.loop = loop != 0;
        s.startFrame = position > 0 && static_cast<std::uint32_t>(position) < s.dataBytes
                           ? BytesToFrame(s, static_cast<std::uint32_t>(position))
                           : 0;
        Refill(slot, true);
        c.frame = 0;
        c.loop = true;  // the ring itself always runs on; its end is marked in it
    }
    Instance& in = s.inst[index];
    c.instance = static_cast<std::uint8_t>(index);
    c.buffer = s.buffer.get();
    if (pan != kUnchanged) in.pan = std::clamp(pan, -10000, 10000);
    if (volume != kUnchanged) in.volume = std::clamp(volume, -10000, 0);
    if (frequency != kUnchanged) {
        in.frequency = frequency == 0
                           ? s.sampleFormat.nSamplesPerSec
                           : std::clamp<std::uint32_t>(frequency, kMinFrequency, kMaxFrequency);
    }
    const StereoGains g = GainsOf(in.volume, m_format.nChannels == 2 ? in.pan : 0);
    c.hasGains = true;
    c.gainLeft = g.left;
    c.gainRight = g.right;
    c.hasStep = true;
    c.step = (std::uint64_t{in.frequency} << 32) / m_format.nSamplesPerSec;
    const std::uint32_t seq = Send(c);
    in.playing = true;
    in.playSeq = seq;
    if (c.frame >= 0) {
        in.posSeq = seq;
        in.expectedFrame = static_cast<std::uint32_t>(c.frame);
    }
}

void OutputDevice::Stop(int slot) {
    if (!ValidSlot(slot)) return;
    Slot& s = m_slots[slot];
    if (!s.buffer) return;
    EngineCommand c;
    c.kind = EngineCommand::kStop;
    c.slot = static_cast<std::uint8_t>(slot);
    c.instance = EngineCommand::kAllInstances;
    Send(c);
    for (Instance& in : s.inst)
        in.playing = false;
}

void OutputDevice::StopAll() {
    for (int s = 0; s < kSlotCount; ++s)
        Stop(s);
}

void OutputDevice::SendGains(int slot, int instance) {
    const Instance& in = m_slots[slot].inst[instance];
    const StereoGains g = GainsOf(in.volume, m_format.nChannels == 2 ? in.pan : 0);
    EngineCommand c;
    c.kind = EngineCommand::kSetGains;
    c.slot = static_cast<std::uint8_t>(slot);
    c.instance = static_cast<std::uint8_t>(instance);
    c.gainLeft = g.left;
    c.gainRight = g.right;
    Send(c);
}

int OutputDevice::GetVolume(int slot) {
    return ValidSlot(slot) && m_slots[slot].buffer ? m_slots[slot].inst[0].volume : 0;
}

void OutputDevice::SetVolume(int slot, int volume) {
    if (!ValidSlot(slot) || !m_slots[slot].buffer || volume == kUnchanged) return;
    for (int i = 0; i < m_slots[slot].instances; ++i) {
        m_slots[slot].inst[i].volume = std::clamp(volume, -10000, 0);
        SendGains(slot, i);
    }
}

int OutputDevice::GetPan(int slot) {
    return ValidSlot(slot) && m_slots[slot].buffer ? m_slots[slot].inst[0].pan : 0;
}

void OutputDevice::SetPan(int slot, int pan) {
    if (!ValidSlot(slot) || !m_slots[slot].buffer || pan == kUnchanged) return;
    for (int i = 0; i < m_slots[slot].instances; ++i) {
        m_slots[slot].inst[i].pan = std::clamp(pan, -10000, 10000);
        SendGains(slot, i);
    }
}

std::uint32_t OutputDevice::GetFrequency(int slot) {
    return ValidSlot(slot) && m_slots[slot].buffer ? m_slots[slot].inst[0].frequency : 0;
}

void OutputDevice::SetFrequency(int slot, std::uint32_t hz) {
    if (!ValidSlot(slot) || !m_slots[slot].buffer || hz == kUnchanged) return;
    Slot& s = m_slots[slot];
    // The first buffer only, as the interface says.
    s.inst[0].frequency = hz == 0 ? s.sampleFormat.nSamplesPerSec
                                  : std::clamp<std::uint32_t>(hz, kMinFrequency, kMaxFrequency);
    EngineCommand c;
    c.kind = EngineCommand::kSetStep;
    c.slot = static_cast<std::uint8_t>(slot);
    c.instance = 0;
    c.step = (std::uint64_t{s.inst[0].frequency} << 32) / m_format.nSamplesPerSec;
    Send(c);
}

std::uint32_t OutputDevice::GetPosition(int slot) {
    if (!ValidSlot(slot) || !m_slots[slot].buffer) return 0;
    CollectRetired();
    Slot& s = m_slots[slot];
    const Instance& in = s.inst[0];
    if (!s.streaming) {
        // Until the audio thread has taken the last cursor change, the cursor
        // is the one asked for.
        if (in.posSeq != 0 && !Applied(in.posSeq)) return FrameToBytes(s, in.expectedFrame);
        return FrameToBytes(s, m_engine.Report(slot, 0).frame);
    }
    // Streaming: the frame now heard, mapped back onto the source.
    std::uint64_t heard = 0;
    if (in.playSeq != 0 && Applied(in.playSeq)) heard = s.buffer->consumed.load();
    std::uint64_t frame = s.startFrame + heard;
    if (s.sourceFrames == 0) return 0;
    frame = s.loop ? frame % s.sourceFrames : std::min<std::uint64_t>(frame, s.sourceFrames);
    return FrameToBytes(s, frame);
}

void OutputDevice::SetPosition(int slot, std::uint32_t bytes) {
    if (!ValidSlot(slot) || !m_slots[slot].buffer) return;
    Slot& s = m_slots[slot];
    const std::uint32_t frame = bytes < s.dataBytes ? BytesToFrame(s, bytes) : 0;
    if (!s.streaming) {
        for (int i = 0; i < s.instances; ++i) {
            EngineCommand c;
            c.kind = EngineCommand::kSetPosition;
            c.slot = static_cast<std::uint8_t>(slot);
            c.instance = static_cast<std::uint8_t>(i);
            c.frame = frame;
            s.inst[i].posSeq = Send(c);
            s.inst[i].expectedFrame = frame;
        }
        return;
    }
    // Streaming: a playing slot carries on from the new place; a stopped one
    // starts from wherever its next Play says.
    if (IsPlaying(slot)) {
        Instance& in = s.inst[0];
        s.startFrame = frame;
        Refill(slot, true);
        EngineCommand c;
        c.kind = EngineCommand::kPlay;
        c.slot = static_cast<std::uint8_t>(slot);
        c.instance = 0;
        c.buffer = s.buffer.get();
        c.frame = 0;
        c.loop = true;
        in.playSeq = Send(c);
    }
}

int OutputDevice::IsPlaying(int slot) {
    if (!ValidSlot(slot) || !m_slots[slot].buffer) return 0;
    const Slot& s = m_slots[slot];
    for (int i = 0; i < OutputEngine::kInstances; ++i) {
        const Instance& in = s.inst[i];
        if (in.playing && m_engine.Report(slot, i).endedSeq != in.playSeq) return 1;
    }
    return 0;
}

// --- streaming -------------------------------------------------------------

// Reads the source into the ring. Restart: a new ring from the slot's start
// frame (the old one is retired once the audio thread let go of it). Update:
// only when more than a sixth of the ring is free; a margin of a few frames
// stays unwritten behind the reader for the interpolation's left neighbour.
void OutputDevice::Refill(int slot, bool restart) {
    Slot& s = m_slots[slot];
    if (!s.buffer || !s.streaming) return;
    constexpr std::uint64_t kMargin = 4;
    if (restart) {
        auto fresh = std::make_unique<SlotBuffer>();
        fresh->layout = s.buffer->layout;
        fresh->frameBytes = s.buffer->frameBytes;
        fresh->rate = s.buffer->rate;
        fresh->streaming = true;
        fresh->frameCount = s.buffer->frameCount;
        fresh->frames.resize(s.buffer->frames.size());
        // Detach, not just stop: the voice must forget the old ring before
        // it is freed.
        EngineCommand c;
        c.kind = EngineCommand::kDetach;
        c.slot = static_cast<std::uint8_t>(slot);
        c.instance = EngineCommand::kAllInstances;
        const std::uint32_t seq = Send(c);
        Retire(std::exchange(s.buffer, std::move(fresh)), seq);
        s.sourceEnded = false;
        if (s.source) {
            s.source->Seek(std::int64_t{s.startFrame} * s.buffer->frameBytes,
                           ByteStream::kFromStart);
        }
    }
    SlotBuffer& b = *s.buffer;
    if (s.sourceEnded) return;
    const std::uint64_t written = b.written.load(std::memory_order_relaxed);
    const std::uint64_t consumed = b.consumed.load(std::memory_order_acquire);
    const std::uint64_t used = written - consumed;
    if (used + kMargin >= b.frameCount) return;
    std::uint64_t room = b.frameCount - kMargin - used;
    if (!restart && room <= b.frameCount / 6) return;
    std::uint64_t w = written;
    bool rewound = false;
    while (room > 0) {
        const std::uint64_t at = w % b.frameCount;
        const auto want =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(room, b.frameCount - at));
        const std::uint32_t got =
            s.source ? s.source->Read(b.frames.data() + at * b.frameBytes, want * b.frameBytes) /
                           b.frameBytes
                     : 0;
        if (got == 0) {
            if (s.loop && s.source && !rewound) {
                s.source->Seek(0, ByteStream::kFromStart);
                rewound = true;  // a source that yields nothing after a rewind ends
                continue;
            }
            s.sourceEnded = true;
            b.written.store(w, std::memory_order_release);
            b.endFrame.store(w, std::memory_order_release);
            return;
        }
        rewound = false;
        w += got;
        room -= got;
    }
    b.written.store(w, std::memory_order_release);
}

void OutputDevice::Service() {
    CollectRetired();
    for (int s = 0; s < kSlotCount; ++s) {
        if (m_slots[s].streaming && m_slots[s].buffer && IsPlaying(s)) Refill(s, false);
    }
}

// --- facts and devices -----------------------------------------------------

std::uint32_t OutputDevice::GetRate(int slot) {
    return IsLoaded(slot) ? m_slots[slot].sampleFormat.nSamplesPerSec : 0;
}
std::uint32_t OutputDevice::GetBits(int slot) {
    return IsLoaded(slot) ? m_slots[slot].sampleFormat.wBitsPerSample : 0;
}
std::uint32_t OutputDevice::GetChannels(int slot) {
    return IsLoaded(slot) ? m_slots[slot].sampleFormat.nChannels : 0;
}
std::uint32_t OutputDevice::GetDataBytes(int slot) {
    return IsLoaded(slot) ? m_slots[slot].dataBytes : 0;
}
std::uint32_t OutputDevice::GetFrameCount(int slot) {
    if (!IsLoaded(slot)) return 0;
    const Slot& s = m_slots[slot];
    const PcmLayout layout = LayoutOf(s.sampleFormat);
    if (layout != PcmLayout::None) return s.dataBytes / BytesPerFrame(layout);
    return static_cast<std::uint32_t>(std::uint64_t{s.dataBytes} * s.sampleFormat.nSamplesPerSec /
                                      s.sampleFormat.nAvgBytesPerSec);
}
std::uint32_t OutputDevice::GetBytesPerFrame(int slot) {
    return IsLoaded(slot) ? m_slots[slot].sampleFormat.nBlockAlign : 0;
}

void OutputDevice::SelectDevice(int index) {
    // -1 is the default device; other negative values are ignored.
    if (index >= -1 && index < DeviceCount()) m_selectedDevice = index;
}

std::string OutputDevice::DeviceName(int index) {
    if (index < 0 || index >= DeviceCount()) return {};
    return m_devices[static_cast<std::size_t>(index)];
}

}  // namespace tamboro::audio
