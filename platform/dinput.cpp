// DirectInput 7 as far as the screen runtime goes: the object and a keyboard device
// that takes a data format. The layer owns every object, as ddraw.cpp does.
#include "platform/dinput.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/no_memory.h"
#include "platform/testing.h"

namespace platform {

const GUID GUID_Key = {0x7D0A0100, 0x0007, 0x4DD7, {0x8B, 0x02, 0, 0, 0, 0, 0, 0x01}};
const GUID GUID_SysKeyboard = {0x7D0A0101, 0x0007, 0x4DD7, {0x8B, 0x02, 0, 0, 0, 0, 0, 0x02}};
const IID IID_IDirectInput7A = {0x7D0A0102, 0x0007, 0x4DD7, {0x8B, 0x02, 0, 0, 0, 0, 0, 0x03}};
const IID IID_IDirectInputDevice7A = {0x7D0A0103, 0x0007, 0x4DD7, {0x8B, 0x02, 0, 0, 0, 0, 0, 0x04}};

namespace {

std::vector<std::unique_ptr<IDirectInput7A>> inputs;
std::vector<std::unique_ptr<IDirectInputDevice7A>> devices;

template <typename T>
void Forget(std::vector<std::unique_ptr<T>>& owned, const T* item) {
  std::erase_if(owned, [item](const std::unique_ptr<T>& p) { return p.get() == item; });
}

constexpr DWORD kKeyboardStateBytes = 256;

}  // namespace

HRESULT DirectInputCreateEx(HINSTANCE instance, DWORD version, REFIID iid, LPVOID* object, void* outer) {
  return FailingWithoutMemory<HRESULT>(DIERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("DirectInputCreateEx");
    if (!object) return DIERR_INVALIDPARAM;
    *object = nullptr;
    if (!instance || outer) return DIERR_INVALIDPARAM;
    if (version < DIRECTINPUT_VERSION) return DIERR_OLDDIRECTINPUTVERSION;
    if (!(iid == IID_IDirectInput7A)) return DIERR_NOINTERFACE;
    if (test::Refused("DirectInputCreateEx")) return DIERR_GENERIC;
    inputs.push_back(std::make_unique<IDirectInput7A>());
    inputs.back()->references = 1;
    *object = inputs.back().get();
    return DI_OK;
  });
}

HRESULT IDirectInput7A::CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, void* outer) {
  return FailingWithoutMemory<HRESULT>(DIERR_OUTOFMEMORY, [&]() -> HRESULT {
    test::Record("CreateDeviceEx");
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DIERR_INVALIDPARAM;
    if (!(iid == IID_IDirectInputDevice7A)) return DIERR_NOINTERFACE;
    if (!(device == GUID_SysKeyboard) || test::Refused("CreateDeviceEx")) return DIERR_DEVICENOTREG;
    devices.push_back(std::make_unique<IDirectInputDevice7A>());
    devices.back()->references = 1;
    *out = devices.back().get();
    return DI_OK;
  });
}

ULONG IDirectInput7A::Release() {
  test::Record("Release DirectInput");
  if (--references) return references;
  Forget(inputs, this);
  return 0;
}

HRESULT IDirectInputDevice7A::SetDataFormat(const DIDATAFORMAT* format) {
  test::Record("SetDataFormat");
  if (!format || format->dwSize != sizeof(DIDATAFORMAT) || format->dwObjSize != sizeof(DIOBJECTDATAFORMAT) ||
      format->dwDataSize % 4 != 0 || format->dwDataSize < kKeyboardStateBytes ||
      (format->dwNumObjs && !format->rgodf))
    return DIERR_INVALIDPARAM;
  for (DWORD i = 0; i < format->dwNumObjs; ++i)
    if (format->rgodf[i].dwOfs >= format->dwDataSize) return DIERR_INVALIDPARAM;
  if (test::Refused("SetDataFormat")) return DIERR_GENERIC;
  formatSet = true;
  return DI_OK;
}

HRESULT IDirectInputDevice7A::Unacquire() {
  test::Record("Unacquire");
  if (!acquired) return DI_NOEFFECT;
  acquired = false;
  return DI_OK;
}

ULONG IDirectInputDevice7A::Release() {
  test::Record("Release keyboard");
  if (--references) return references;
  Forget(devices, this);
  return 0;
}

}  // namespace platform
