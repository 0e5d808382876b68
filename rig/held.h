// Enough of a COM pointer for the rig and the tests: released when it goes
// out of scope.
#pragma once

template <class Interface>
struct Held {
    Interface* p = nullptr;
    Held() = default;
    Held(Held const&) = delete;
    Held& operator=(Held const&) = delete;
    ~Held()
    {
        if (p)
            p->Release();
    }
    Interface* operator->() const { return p; }
    void** Out() { return reinterpret_cast<void**>(&p); }
};
