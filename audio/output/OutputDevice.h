#pragma once
// The live sound output: 60 sample slots mixed in real time by our own
// engine (audio/OutputEngine.h) inside the render calls of one output
// backend (SDL2 in the program, ManualBackend in tests).
//
// Slots hold a sample loaded from a file, an embedded resource or memory.
// A static slot converts the whole sample to the device's sample layout when
// its buffer is made and plays it in 1 to 4 overlapping instances (round
// robin); a streaming slot reads the sample through a one-second ring that
// Service() refills. Positions (GetPosition, SetPosition, Play's position)
// are bytes of the slot's own format. Frequency is the playback rate in Hz of
// the slot's own samples; any rate other than the device's is resampled per
// voice with cubic interpolation. Volume and pan are attenuations (-10000..0,
// -10000..+10000) applied by the software mixer's law (audio/MixKernels.h
// GainsOf), ramped over a few milliseconds; at 0/0 a sample already in the
// device format reaches the output bit for bit.
//
// Threads: every operation is for the owner thread. The backend's audio
// thread only renders; it never calls back into the owner. Loading,
// conversion and freeing happen here.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/output/OutputBackend.h"
#include "audio/output/OutputDeviceInterface.h"
#include "audio/output/OutputEngine.h"
#include "audio/wave/ByteStream.h"
#include "base/Storage.h"

namespace tamboro::audio {

class OutputDevice final : public OutputDeviceInterface {
  public:
    // Slot kinds.
    enum Kind : int { kNotLoaded = 0, kFromFile = 1, kFromResource = 3, kFromMemory = 4 };
    // The block the backend is asked for.
    static constexpr std::uint32_t kWantedBufferMs = 10;
    static constexpr std::uint32_t kMinFrequency = 100;
    static constexpr std::uint32_t kMaxFrequency = 200000;

    // Without a backend the device exists, lists nothing and plays nothing.
    // The device list is read here. Output format: 22050 Hz, 8 bits, mono.
    explicit OutputDevice(std::unique_ptr<OutputBackend> backend);
    // Activate(0), unloads every slot.
    ~OutputDevice() override;
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    void SetWindowAndFormat(const WAVEFORMATEX& format, std::uint32_t options) override;
    WAVEFORMATEX GetFormat() const override { return m_format; }
    std::uint32_t GetCaps() override;
    int AllocSlot() override;
    void FreeSlot(int slot) override;
    int LoadFile(int slot, const std::string& path, int streaming, int instances,
                 std::uint32_t flags) override;
    int LoadResource(int slot, std::string_view name, int instances, std::uint32_t flags) override;
    int LoadMemory(int slot, int streaming, const WAVEFORMATEX* format, const void* data,
                   std::uint32_t bytes, int instances, std::uint32_t flags) override;
    void Unload(int slot) override;
    int IsLoaded(int slot) override;
    void Activate(int on) override;
    int IsActive() override { return m_active ? 1 : 0; }
    void Play(int slot, std::int32_t position, int pan, int volume, int frequency,
              int loop) override;
    void Stop(int slot) override;
    void StopAll() override;
    int GetVolume(int slot) override;
    void SetVolume(int slot, int volume) override;
    int GetPan(int slot) override;
    void SetPan(int slot, int pan) override;
    std::uint32_t GetFrequency(int slot) override;
    void SetFrequency(int slot, std::uint32_t hz) override;
    std::uint32_t GetPosition(int slot) override;
    void SetPosition(int slot, std::uint32_t bytes) override;
    int IsPlaying(int slot) override;
    std::uint32_t GetRate(int slot) override;
    std::uint32_t GetBits(int slot) override;
    std::uint32_t GetChannels(int slot) override;
    std::uint32_t GetDataBytes(int slot) override;
    std::uint32_t GetFrameCount(int slot) override;
    std::uint32_t GetBytesPerFrame(int slot) override;
    void SelectDevice(int index) override;
    int SelectedDevice() override { return m_selectedDevice; }
    int DeviceCount() override { return static_cast<int>(m_devices.size()); }
    std::string DeviceName(int index) override;
    bool SetSequencer(BlockSequencer* sequencer, std::uint64_t meteredSlots) override;

    // Refills the ring of every streaming slot that plays and frees buffers
    // the audio thread has let go of. Call it often (the console's periodic
    // timer does): a ring holds one second.
    void Service();

    // The block size the backend granted at the last activation, in frames.
    std::uint32_t GrantedFrames() const { return m_grantedFrames; }
    // The loudest output sample (16-bit scale) since the last call.
    std::uint32_t TakePeak() { return m_engine.TakePeak(); }
    // Frames the engine has rendered since the last activation. Any thread.
    std::uint64_t FramesRendered() const { return m_engine.FramesRendered(); }
    std::uint32_t Instances(int slot) const;
    OutputBackend* Backend() const { return m_backend.get(); }

  private:
    struct Instance {
        int volume = 0;
        int pan = 0;
        std::uint32_t frequency = 0;
        bool playing = false;       // as far as the owner asked
        std::uint32_t playSeq = 0;  // the command that started it
        std::uint32_t posSeq = 0;   // the last command that set its cursor
        std::uint32_t expectedFrame = 0;
    };
    struct Slot {
        int instances = 0;  // 1..4 loaded, 0 free, -1 reserved
        int kind = kNotLoaded;
        bool streaming = false;
        bool loaded = false;
        std::uint32_t flags = 0;
        WAVEFORMATEX sampleFormat;
        WAVEFORMATEX deviceFormat;
        std::unique_ptr<base::Storage> storage;
        const std::uint8_t* data = nullptr;
        std::uint32_t dataBytes = 0;
        std::unique_ptr<SlotBuffer> buffer;  // null while no buffers exist
        // Streaming only.
        std::unique_ptr<ByteStream> source;  // own rate, device layout
        std::uint32_t sourceFrames = 0;
        std::uint32_t startFrame = 0;
        bool loop = false;
        bool sourceEnded = false;
        int nextInstance = -1;
        std::array<Instance, OutputEngine::kInstances> inst;
    };

    static bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }
    int FinishLoad(int slot, int kind, std::unique_ptr<base::Storage> storage,
                   const WAVEFORMATEX* format, int streaming, int instances, std::uint32_t flags);
    void MakeBuffers(int slot);
    void ReleaseBuffers(int slot);
    void Retire(std::unique_ptr<SlotBuffer> buffer, std::uint32_t seq);
    void CollectRetired();
    std::uint32_t Send(const EngineCommand& command);
    bool ConsumerRuns() const;
    bool Open();
    void Close();
    void Reopen();
    void Refill(int slot, bool restart);
    void SendGains(int slot, int instance);
    bool Applied(std::uint32_t seq) const;
    // Returns once the consumer has applied command `seq`.
    void WaitApplied(std::uint32_t seq);
    std::uint32_t FrameToBytes(const Slot& s, std::uint64_t frame) const;
    std::uint32_t BytesToFrame(const Slot& s, std::uint32_t bytes) const;
    std::unique_ptr<ByteStream> MakeSource(const Slot& s) const;

    WAVEFORMATEX m_format;
    OutputEngine m_engine;  // declared before the backend: outlives its render calls
    std::unique_ptr<OutputBackend> m_backend;
    std::vector<std::string> m_devices;
    int m_selectedDevice = -1;
    bool m_active = false;
    std::uint32_t m_grantedFrames = 0;
    std::array<Slot, kSlotCount> m_slots;
    std::vector<std::pair<std::uint32_t, std::unique_ptr<SlotBuffer>>> m_retired;
};

}  // namespace tamboro::audio
