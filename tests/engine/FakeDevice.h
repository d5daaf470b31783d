#pragma once
// An output device that records what the song asks of it.
#include <cstring>
#include <string>
#include <vector>

#include "audio/OutputDeviceInterface.h"

namespace tamboro::engine::test {

class FakeDevice : public audio::OutputDeviceInterface {
  public:
    struct Loaded {
        bool fromMemory = false;
        std::string path;
        audio::WAVEFORMATEX format;
        std::vector<std::uint8_t> bytes;
        std::uint32_t flags = 0;
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
        if (slot < 0 || slot >= kSlotCount) return;
        Unload(slot);
        state[slot] = 0;
    }
    int LoadMemory(int slot, int, const audio::WAVEFORMATEX* f, const void* data,
                   std::uint32_t bytes, int, std::uint32_t flags) override {
        if (slot < 0 || slot >= kSlotCount || data == nullptr) return kLoadBadSlot;
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
        if (slot < 0 || slot >= kSlotCount) return;
        loaded[slot] = Loaded{};
        if (state[slot] > 0) state[slot] = -1;
        playing[slot] = false;
    }
    int IsLoaded(int slot) override {
        return slot >= 0 && slot < kSlotCount && state[slot] > 0 ? 1 : 0;
    }
    void Activate(int on) override {
        active = on != 0;
        log.push_back(on ? "activate" : "deactivate");
    }
    int IsActive() override { return active ? 1 : 0; }
    void Stop(int slot) override {
        if (slot >= 0 && slot < kSlotCount) playing[slot] = false;
    }
    void StopAll() override {
        for (auto& p : playing)
            p = false;
        log.push_back("stopall");
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
    Loaded loaded[kSlotCount];
    bool active = false;
    int selected = -1;
    std::vector<std::string> log;

  private:
    bool* m_destroyed;
};

}  // namespace tamboro::engine::test
