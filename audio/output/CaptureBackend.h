#pragma once
// A backend that keeps a copy of everything another backend's device is
// given: the render calls go through it on their way to the device, and the
// bytes land in a lock-free ring that the owner drains. What a live
// performance produced can so be written to a file exactly as it sounded.
//
// Threads: Render (through the wrapped backend) runs on its audio thread and
// only copies into the ring; Drain runs on the owner thread. A ring that
// fills (the owner drained too rarely) drops the newest bytes and counts
// them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/output/OutputBackend.h"

namespace tamboro::audio {

class CaptureBackend final : public OutputBackend {
  public:
    // `ringBytes` bounds what may wait between two drains.
    CaptureBackend(std::unique_ptr<OutputBackend> inner, std::uint32_t ringBytes);

    std::vector<std::string> Devices() override { return m_inner->Devices(); }
    bool Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames, RenderFn render,
              void* context, std::uint32_t& grantedFrames) override;
    void Close() override { m_inner->Close(); }
    bool IsOpen() const override { return m_inner->IsOpen(); }
    bool Lost() override { return m_inner->Lost(); }
    std::uint32_t Caps(int index) override { return m_inner->Caps(index); }
    bool Threaded() const override { return m_inner->Threaded(); }
    OutputBackend& Inner() const { return *m_inner; }

    // Owner thread: appends what was rendered since the last call to `out`.
    void Drain(std::vector<std::uint8_t>& out);
    // Bytes rendered since the device was opened (kept or dropped). Any thread.
    std::uint64_t BytesRendered() const { return m_total.load(std::memory_order_acquire); }
    // When the last render call started (steady clock, ns). Any thread.
    std::int64_t LastRenderNs() const { return m_lastRender.load(std::memory_order_acquire); }
    // Bytes lost to a full ring. Any thread.
    std::uint64_t Dropped() const { return m_dropped.load(std::memory_order_acquire); }

  private:
    static void Tap(void* self, std::uint8_t* out, std::uint32_t bytes);

    std::unique_ptr<OutputBackend> m_inner;
    RenderFn m_render = nullptr;  // written: owner before Open; read: audio
    void* m_context = nullptr;
    std::vector<std::uint8_t> m_ring;
    std::atomic<std::uint64_t> m_head{0};  // written: owner
    std::atomic<std::uint64_t> m_tail{0};  // written: audio
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<std::uint64_t> m_dropped{0};
    std::atomic<std::int64_t> m_lastRender{0};
};

}  // namespace tamboro::audio
