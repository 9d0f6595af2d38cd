// COM on the calling thread for the life of a scope, in the single-threaded
// apartment the check class asks for, as a host's thread has it.
#pragma once

#include <objbase.h>

namespace lineprobe {

class Apartment {
public:
    explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept : m_hr(CoInitializeEx(nullptr, model)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    HRESULT Status() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace lineprobe
