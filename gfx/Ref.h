#pragma once
// Owning handle for the reference-counted graphics objects (Palette and
// ClipRegion): holds one reference and releases it when it goes.
#include <utility>

namespace tamboro::gfx {

template <class T>
class Ref {
  public:
    Ref() = default;
    // Takes over a reference the caller already holds (a New or Clone result).
    static Ref Adopt(T* p) {
        Ref r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static Ref Share(T* p) {
        if (p != nullptr) p->AddRef();
        return Adopt(p);
    }
    Ref(const Ref& o) : m_p(o.m_p) {
        if (m_p != nullptr) m_p->AddRef();
    }
    Ref(Ref&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    Ref& operator=(Ref o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~Ref() {
        if (m_p != nullptr) m_p->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(m_p, nullptr); }

  private:
    T* m_p = nullptr;
};

}  // namespace tamboro::gfx
