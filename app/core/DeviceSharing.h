#pragma once
// Sharing the sound device with other programs. Another program (the
// sibling programs among them) asks the running one to RELEASE the device;
// the device is taken back when the user returns to the program's window.
// When it cannot be taken back the user may retry; after declining, the
// program runs silent and says so, and tries again, without asking, at the
// next return to its window. (Retrying until the device comes back would
// trap the user in a message box while another program holds the device.)
//
// User-interface thread only.
#include <functional>

namespace tamboro::app {

class DeviceSharing {
  public:
    struct Hooks {
        std::function<void()> stopSong;      // StopMix and a console redraw
        std::function<void(bool)> activate;  // OutputDevice::Activate
        std::function<bool()> isActive;      // OutputDevice::IsActive
        std::function<void()> wait;          // the pause before each attempt (200 ms)
        std::function<bool()> askRetry;      // message 1013 with Retry / Continue without sound
        std::function<void(bool)> silent;    // the console's notice on (true) or off
    };
    explicit DeviceSharing(Hooks hooks) : m_hooks(std::move(hooks)) {}

    // The RELEASE request. Ignored while the frame is being destroyed.
    // Answers 1 as the window message did.
    int OnRelease(bool destroying);
    // The program's window became active (or not). Takes the device back
    // when it is not active.
    void OnActivateApp(bool active);

    // The device could not be had at start: the program runs silent (and
    // says so) and tries again quietly at each return to its window.
    void StartSilent();

    bool Released() const { return m_released; }
    bool Silent() const { return m_silent; }

  private:
    Hooks m_hooks;
    bool m_released = false;
    bool m_silent = false;
};

}  // namespace tamboro::app
