#pragma once
// The abstract live output: 60 sample slots that are loaded, started,
// stopped and shaped (volume, pan, frequency, position). The song engine
// talks to the sound card only through this interface; the real engine is
// OutputDevice, tests use doubles.
//
// The default bodies do nothing and answer 0, except AllocSlot (-1) and the
// three load operations (5). Slots run 0..59; a slot outside that range does
// nothing and answers 0 (or 1 where an error code is returned). 999999 for
// pan, volume or frequency leaves that property unchanged. Levels are
// attenuations (audio/Levels.h). Owner thread only.
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/output/BlockSequencer.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class OutputDeviceInterface {
  public:
    static constexpr int kSlotCount = 60;
    static constexpr int kUnchanged = 999999;

    // Load result codes.
    enum LoadResult : int {
        kLoadOk = 0,
        kLoadBadSlot = 1,     // slot out of range, or no data for LoadMemory
        kLoadOpenFailed = 2,  // the file cannot be opened or mapped
        kLoadNotWave = 3,     // not a valid RIFF WAVE image
        kLoadNoResource = 4,  // resource not found
        kLoadUnavailable = 5,
    };

    // Load flags.
    static constexpr std::uint32_t kFlagSoftware = 1;
    static constexpr std::uint32_t kFlagGlobalFocus = 2;
    static constexpr std::uint32_t kFlagStickyFocus = 4;

    virtual ~OutputDeviceInterface() = default;

    // Copies the output format; it takes effect at the next activation.
    virtual void SetWindowAndFormat(const WAVEFORMATEX& /*format*/, std::uint32_t /*options*/) {}
    // The output format set last.
    virtual WAVEFORMATEX GetFormat() const { return {}; }
    virtual std::uint32_t GetCaps() { return 0; }
    virtual int AllocSlot() { return -1; }
    virtual void FreeSlot(int /*slot*/) {}
    virtual int LoadFile(int /*slot*/, const std::string& /*path*/, int /*streaming*/,
                         int /*instances*/, std::uint32_t /*flags*/) {
        return kLoadUnavailable;
    }
    virtual int LoadResource(int /*slot*/, std::string_view /*name*/, int /*instances*/,
                             std::uint32_t /*flags*/) {
        return kLoadUnavailable;
    }
    // With a format the memory is raw samples in it, else a RIFF WAVE image.
    // The caller keeps the memory alive while the slot is loaded.
    virtual int LoadMemory(int /*slot*/, int /*streaming*/, const WAVEFORMATEX* /*format*/,
                           const void* /*data*/, std::uint32_t /*bytes*/, int /*instances*/,
                           std::uint32_t /*flags*/) {
        return kLoadUnavailable;
    }
    virtual void Unload(int /*slot*/) {}
    virtual int IsLoaded(int /*slot*/) { return 0; }
    virtual void Activate(int /*on*/) {}
    virtual int IsActive() { return 0; }
    // position: bytes of the slot's own format, or -1 for "where it is".
    virtual void Play(int /*slot*/, std::int32_t /*position*/, int /*pan*/, int /*volume*/,
                      int /*frequency*/, int /*loop*/) {}
    virtual void Stop(int /*slot*/) {}
    virtual void StopAll() {}
    virtual int GetVolume(int /*slot*/) { return 0; }
    virtual void SetVolume(int /*slot*/, int /*volume*/) {}
    virtual int GetPan(int /*slot*/) { return 0; }
    virtual void SetPan(int /*slot*/, int /*pan*/) {}
    virtual std::uint32_t GetFrequency(int /*slot*/) { return 0; }
    virtual void SetFrequency(int /*slot*/, std::uint32_t /*hz*/) {}
    // Bytes of the slot's own format.
    virtual std::uint32_t GetPosition(int /*slot*/) { return 0; }
    virtual void SetPosition(int /*slot*/, std::uint32_t /*bytes*/) {}
    virtual int IsPlaying(int /*slot*/) { return 0; }
    virtual std::uint32_t GetRate(int /*slot*/) { return 0; }
    virtual std::uint32_t GetBits(int /*slot*/) { return 0; }
    virtual std::uint32_t GetChannels(int /*slot*/) { return 0; }
    virtual std::uint32_t GetDataBytes(int /*slot*/) { return 0; }
    virtual std::uint32_t GetFrameCount(int /*slot*/) { return 0; }
    virtual std::uint32_t GetBytesPerFrame(int /*slot*/) { return 0; }
    virtual void SelectDevice(int /*index*/) {}
    virtual int SelectedDevice() { return -1; }
    virtual int DeviceCount() { return 0; }
    virtual std::string DeviceName(int /*index*/) { return {}; }
    // Installs the sequencer that the real-time engine consults inside every
    // render call (null removes it), with the slots whose levels it measures
    // (bit s for slot s). Returns once the render side has taken it, so a
    // removed sequencer may then be destroyed. False when the device has no
    // real-time engine (nothing is installed).
    virtual bool SetSequencer(BlockSequencer* /*sequencer*/, std::uint64_t /*meteredSlots*/) {
        return false;
    }
};

}  // namespace tamboro::audio
