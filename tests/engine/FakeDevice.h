#pragma once
// An output device that records what the song asks of it. Positions do not
// move by themselves: tests set them.
#include <cstring>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "audio/output/OutputDeviceInterface.h"
#include "audio/wave/Wave.h"

namespace tamboro::engine::test {

class FakeDevice : public audio::OutputDeviceInterface {
  public:
    struct Loaded {
        bool fromMemory = false;
        std::string path;
        audio::WAVEFORMATEX format;
        std::vector<std::uint8_t> bytes;  // the samples
        std::uint32_t flags = 0;
    };
    struct PlayCall {
        int slot;
        std::int32_t position;
        int pan, volume, frequency, loop;
    };

    explicit FakeDevice(bool* destroyed = nullptr) : m_destroyed(destroyed) {
        audio::MakePcmFormat(format, 44100, 16, 2);
    }
    ~FakeDevice() override {
        if (m_destroyed != nullptr) *m_destroyed = true;
    }

    void SetWindowAndFormat(const audio::WAVEFORMATEX& f, std::uint32_t) override {
        format = f;
        log.push_back("format");
    }
    audio::WAVEFORMATEX GetFormat() const override { return format; }
    int AllocSlot() override {
        for (int i = 0; i < kSlotCount; ++i) {
            if (state[i] == 0) {
                state[i] = -1;
                return i;
            }
        }
        return -1;
    }
    void FreeSlot(int slot) override {
        if (!Valid(slot)) return;
        Unload(slot);
        state[slot] = 0;
    }
    int LoadFile(int slot, const std::string& path, int, int, std::uint32_t flags) override {
        if (!Valid(slot)) return kLoadBadSlot;
        Unload(slot);
        audio::Wave wave;
        if (audio::LoadWave(wave, path, audio::kTypeWav | audio::kLoadCopy) !=
            audio::SoundResult::Ok) {
            return kLoadNotWave;
        }
        Loaded l;
        l.path = path;
        l.format = *wave.Format();
        l.bytes.assign(wave.Data(), wave.Data() + wave.DataBytes());
        l.flags = flags;
        loaded[slot] = l;
        state[slot] = 1;
        return kLoadOk;
    }
    int LoadMemory(int slot, int, const audio::WAVEFORMATEX* f, const void* data,
                   std::uint32_t bytes, int, std::uint32_t flags) override {
        if (!Valid(slot) || data == nullptr) return kLoadBadSlot;
        Loaded l;
        l.fromMemory = true;
        if (f != nullptr) l.format = *f;
        l.bytes.assign(static_cast<const std::uint8_t*>(data),
                       static_cast<const std::uint8_t*>(data) + bytes);
        l.flags = flags;
        loaded[slot] = l;
        state[slot] = 1;
        return kLoadOk;
    }
    void Unload(int slot) override {
        if (!Valid(slot)) return;
        loaded[slot] = Loaded{};
        if (state[slot] > 0) state[slot] = -1;
        playing[slot] = false;
        position[slot] = 0;
    }
    int IsLoaded(int slot) override { return Valid(slot) && state[slot] > 0 ? 1 : 0; }
    void Activate(int on) override {
        active = on != 0;
        log.push_back(on ? "activate" : "deactivate");
    }
    int IsActive() override { return active ? 1 : 0; }
    void Play(int slot, std::int32_t pos, int pan, int vol, int freq, int loop) override {
        if (!Valid(slot) || state[slot] <= 0) return;
        plays.push_back({slot, pos, pan, vol, freq, loop});
        if (pos != -1) position[slot] = static_cast<std::uint32_t>(pos);
        if (pan != kUnchanged) this->pan[slot] = pan;
        if (vol != kUnchanged) volume[slot] = vol;
        playing[slot] = true;
    }
    void Stop(int slot) override {
        if (Valid(slot)) playing[slot] = false;
    }
    void StopAll() override {
        for (auto& p : playing)
            p = false;
        log.push_back("stopall");
    }
    int GetVolume(int slot) override { return Valid(slot) ? volume[slot] : 0; }
    void SetVolume(int slot, int v) override {
        if (Valid(slot)) volume[slot] = v;
    }
    int GetPan(int slot) override { return Valid(slot) ? pan[slot] : 0; }
    void SetPan(int slot, int p) override {
        if (Valid(slot)) pan[slot] = p;
    }
    std::uint32_t GetPosition(int slot) override { return Valid(slot) ? position[slot] : 0; }
    void SetPosition(int slot, std::uint32_t bytes) override {
        if (Valid(slot)) position[slot] = bytes;
    }
    int IsPlaying(int slot) override { return Valid(slot) && playing[slot] ? 1 : 0; }
    std::uint32_t GetRate(int slot) override {
        return IsLoaded(slot) ? loaded[slot].format.nSamplesPerSec : 0;
    }
    std::uint32_t GetDataBytes(int slot) override {
        return IsLoaded(slot) ? static_cast<std::uint32_t>(loaded[slot].bytes.size()) : 0;
    }
    std::uint32_t GetBytesPerFrame(int slot) override {
        return IsLoaded(slot) ? loaded[slot].format.nBlockAlign : 0;
    }
    void SelectDevice(int index) override {
        selected = index;
        log.push_back("select");
    }
    int SelectedDevice() override { return selected; }

    int SlotsInUse() const {
        int n = 0;
        for (int s : state)
            n += s != 0;
        return n;
    }

    audio::WAVEFORMATEX format;
    int state[kSlotCount] = {};  // 0 free, -1 reserved, 1 loaded
    bool playing[kSlotCount] = {};
    std::uint32_t position[kSlotCount] = {};
    int volume[kSlotCount] = {};
    int pan[kSlotCount] = {};
    Loaded loaded[kSlotCount];
    std::vector<PlayCall> plays;
    bool active = false;
    int selected = -1;
    std::vector<std::string> log;

  private:
    static bool Valid(int slot) { return slot >= 0 && slot < kSlotCount; }
    bool* m_destroyed;
};

}  // namespace tamboro::engine::test
