// Fakes of the user-facing Windows functions: DirectInput 8 with one system
// keyboard whose keys the caller sets, and the message box, recorded and
// answered with OK at once.
//
// The fakes hold the DLL to what the real functions require: the DirectInput
// version and interface, the keyboard's GUID and standard data format, a data
// format before Acquire, an acquired device before a state read, and a
// 256-byte state. A call that breaks a rule is answered with the error the
// real function gives and noted among the complaints, so that a test sees it.
#include <cstring>

#include "emu/machine.h"

namespace atsemu {
namespace {

// HRESULTs of DirectInput.
constexpr uint32_t kDiOk = 0;
constexpr uint32_t kDiNoEffect = 1;  // S_FALSE
constexpr uint32_t kENoInterface = 0x80004002;
constexpr uint32_t kDiErrInvalidParam = 0x80070057;
constexpr uint32_t kDiErrNotAcquired = 0x8007000C;
constexpr uint32_t kDiErrInputLost = 0x8007001E;
constexpr uint32_t kDiErrAcquired = 0x800700AA;
constexpr uint32_t kDirectInputVersion = 0x0800;
constexpr uint32_t kIdOk = 1;  // MessageBoxW's answer for the OK button

// GUIDs as their 16 bytes in memory.
using Guid = std::array<uint8_t, 16>;
constexpr Guid MakeGuid(uint32_t d1, uint16_t d2, uint16_t d3, std::array<uint8_t, 8> d4) {
  return {static_cast<uint8_t>(d1),
          static_cast<uint8_t>(d1 >> 8),
          static_cast<uint8_t>(d1 >> 16),
          static_cast<uint8_t>(d1 >> 24),
          static_cast<uint8_t>(d2),
          static_cast<uint8_t>(d2 >> 8),
          static_cast<uint8_t>(d3),
          static_cast<uint8_t>(d3 >> 8),
          d4[0],
          d4[1],
          d4[2],
          d4[3],
          d4[4],
          d4[5],
          d4[6],
          d4[7]};
}
constexpr Guid kIidDirectInput8W =
    MakeGuid(0xBF798031, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00});
constexpr Guid kGuidSysKeyboard =
    MakeGuid(0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00});
constexpr Guid kGuidKey =
    MakeGuid(0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00});

// The standard keyboard data format: one optional button object per byte of
// a 256-byte state, object i at offset i with instance number i.
constexpr uint32_t kDataFormatSize = 24;    // DIDATAFORMAT
constexpr uint32_t kObjectFormatSize = 16;  // DIOBJECTDATAFORMAT
constexpr uint32_t kRelativeAxes = 0x2;     // DIDF_RELAXIS
constexpr uint32_t kKeyboardStateSize = 256;
constexpr uint32_t kOptional = 0x80000000;  // DIDFT_OPTIONAL
constexpr uint32_t kButton = 0x0000000C;    // DIDFT_BUTTON
constexpr uint32_t kInstanceShift = 8;      // DIDFT_MAKEINSTANCE

// The methods of the two interfaces in virtual-table order; only those with
// a fake below may be called.
const char* const kDirectInputMethods[] = {
    "QueryInterface",  "AddRef",          "Release",    "CreateDevice", "EnumDevices",
    "GetDeviceStatus", "RunControlPanel", "Initialize", "FindDevice",   "EnumDevicesBySemantics",
    "ConfigureDevices"};
const char* const kKeyboardMethods[] = {"QueryInterface",
                                        "AddRef",
                                        "Release",
                                        "GetCapabilities",
                                        "EnumObjects",
                                        "GetProperty",
                                        "SetProperty",
                                        "Acquire",
                                        "Unacquire",
                                        "GetDeviceState",
                                        "GetDeviceData",
                                        "SetDataFormat",
                                        "SetEventNotification",
                                        "SetCooperativeLevel",
                                        "GetObjectInfo",
                                        "GetDeviceInfo",
                                        "RunControlPanel",
                                        "Initialize",
                                        "CreateEffect",
                                        "EnumEffects",
                                        "GetEffectInfo",
                                        "GetForceFeedbackState",
                                        "SendForceFeedbackCommand",
                                        "EnumCreatedEffectObjects",
                                        "Escape",
                                        "Poll",
                                        "SendDeviceData",
                                        "EnumEffectsInFile",
                                        "WriteEffectToFile",
                                        "BuildActionMap",
                                        "SetActionMap",
                                        "GetImageInfo"};

Guid ReadGuid(Machine& m, uint32_t address) {
  Guid g{};
  m.Read(address, g.data(), g.size());
  return g;
}

void Complain(Machine& m, const std::string& what) { m.windows.complaints.push_back(what); }

// The object a method was called on; it must be one of ours, of this kind,
// and not yet released.
ComObject& This(ImportCall& c, ComObject::Kind kind, const char* method) {
  auto it = c.machine().comObjects.find(c.Arg(0));
  if (it == c.machine().comObjects.end() || it->second.kind != kind) {
    throw EmuError(std::string(method) + " called on something that is not such an object");
  }
  if (it->second.refs == 0) throw EmuError(std::string(method) + " called after the last Release");
  return it->second;
}

uint32_t NewObject(Machine& m, ComObject::Kind kind, uint32_t vtable) {
  const uint32_t object = m.StaticAlloc(4);
  m.Write32(object, vtable);
  ComObject o;
  o.kind = kind;
  m.comObjects[object] = o;
  ++m.windows.comObjectsCreated;
  ++m.windows.comObjectsLive;
  return object;
}

bool IsKeyboardFormat(Machine& m, uint32_t address, std::string& why) {
  uint32_t f[6];
  m.Read(address, f, sizeof f);
  if (f[0] != kDataFormatSize || f[1] != kObjectFormatSize || f[2] != kRelativeAxes ||
      f[3] != kKeyboardStateSize || f[4] != kKeyboardStateSize) {
    why = "the data format's header is not the keyboard's";
    return false;
  }
  for (uint32_t i = 0; i < kKeyboardStateSize; ++i) {
    uint32_t o[4];
    m.Read(f[5] + i * kObjectFormatSize, o, sizeof o);
    if (o[0] == 0 || ReadGuid(m, o[0]) != kGuidKey || o[1] != i ||
        o[2] != (kOptional | kButton | (i << kInstanceShift))) {
      why = "object " + std::to_string(i) + " of the data format is not key " + std::to_string(i);
      return false;
    }
  }
  return true;
}

using Method = std::function<uint32_t(ImportCall&)>;
struct MethodFake {
  uint16_t argBytes;
  Method fake;
};

uint32_t MakeVtable(Machine& m, const char* interface, const char* const* names, std::size_t count,
                    const std::map<std::string, MethodFake>& fakes) {
  const uint32_t vtable = m.StaticAlloc(static_cast<uint32_t>(4 * count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = std::string(interface) + "::" + names[i];
    uint32_t stub;
    if (auto f = fakes.find(names[i]); f != fakes.end()) {
      stub = m.AddStub(name, Convention::kStdcall, f->second.argBytes, f->second.fake);
    } else {
      stub = m.AddStub(name, Convention::kStdcall, 0, [name](ImportCall&) -> uint32_t {
        throw EmuError(name + " has no fake; add one to the emulator");
      });
    }
    m.Write32(vtable + 4 * static_cast<uint32_t>(i), stub);
  }
  return vtable;
}

uint32_t Release(ImportCall& c, ComObject::Kind kind, const char* name) {
  ComObject& o = This(c, kind, name);
  c.machine().windows.directInputCalls.push_back(name);
  if (--o.refs == 0) --c.machine().windows.comObjectsLive;
  return o.refs;
}

// The methods every COM interface begins with. No other interface is
// offered.
uint32_t QueryInterface(ImportCall& c, ComObject::Kind kind, const char* name) {
  This(c, kind, name);
  c.machine().Write32(c.Arg(2), 0);
  return kENoInterface;
}

uint32_t AddRef(ImportCall& c, ComObject::Kind kind, const char* name) {
  return ++This(c, kind, name).refs;
}

// IDirectInput8W::CreateDevice: the system keyboard only, not aggregated.
uint32_t CreateDevice(ImportCall& c) {
  Machine& m = c.machine();
  This(c, ComObject::Kind::kDirectInput, "IDirectInput8W::CreateDevice");
  m.windows.directInputCalls.push_back("IDirectInput8W::CreateDevice");
  if (ReadGuid(m, c.Arg(1)) != kGuidSysKeyboard || c.Arg(3) != 0) {
    Complain(m, "CreateDevice: not the system keyboard, or with an outer object");
    m.Write32(c.Arg(2), 0);
    return kDiErrInvalidParam;
  }
  m.Write32(c.Arg(2), NewObject(m, ComObject::Kind::kKeyboard, m.keyboardVtable));
  return kDiOk;
}

// IDirectInputDevice8W::SetDataFormat: the standard keyboard format, before
// the device is acquired.
uint32_t SetDataFormat(ImportCall& c) {
  Machine& m = c.machine();
  ComObject& o = This(c, ComObject::Kind::kKeyboard, "IDirectInputDevice8W::SetDataFormat");
  m.windows.directInputCalls.push_back("IDirectInputDevice8W::SetDataFormat");
  if (o.acquired) return kDiErrAcquired;
  std::string why;
  if (c.Arg(1) == 0 || !IsKeyboardFormat(m, c.Arg(1), why)) {
    Complain(m, "SetDataFormat: " + (why.empty() ? "no data format" : why));
    return kDiErrInvalidParam;
  }
  o.formatSet = true;
  return kDiOk;
}

// IDirectInputDevice8W::Acquire: only once a data format is set.
uint32_t AcquireKeyboard(ImportCall& c) {
  ComObject& o = This(c, ComObject::Kind::kKeyboard, "IDirectInputDevice8W::Acquire");
  c.machine().windows.directInputCalls.push_back("IDirectInputDevice8W::Acquire");
  if (!o.formatSet) {
    Complain(c.machine(), "Acquire before SetDataFormat");
    return kDiErrInvalidParam;
  }
  if (o.acquired) return kDiNoEffect;
  o.acquired = true;
  return kDiOk;
}

uint32_t UnacquireKeyboard(ImportCall& c) {
  ComObject& o = This(c, ComObject::Kind::kKeyboard, "IDirectInputDevice8W::Unacquire");
  c.machine().windows.directInputCalls.push_back("IDirectInputDevice8W::Unacquire");
  if (!o.acquired) return kDiNoEffect;
  o.acquired = false;
  return kDiOk;
}

// IDirectInputDevice8W::GetDeviceState: the keys the caller set, 256 bytes,
// from an acquired device; fails as a lost device would where the test asks.
uint32_t GetDeviceState(ImportCall& c) {
  Machine& m = c.machine();
  ComObject& o = This(c, ComObject::Kind::kKeyboard, "IDirectInputDevice8W::GetDeviceState");
  ++m.windows.stateReads;
  if (!o.acquired) return kDiErrNotAcquired;
  if (m.windows.failStateReads) return kDiErrInputLost;
  if (c.Arg(1) != kKeyboardStateSize) {
    Complain(m, "GetDeviceState of " + std::to_string(c.Arg(1)) + " bytes");
    return kDiErrInvalidParam;
  }
  m.Write(c.Arg(2), m.windows.keys.data(), m.windows.keys.size());
  return kDiOk;
}

}  // namespace

// The two interfaces' virtual tables, made once per machine before any code
// of the DLL runs.
void SetUpDirectInput(Machine& m) {
  using Kind = ComObject::Kind;
  // Each fake with the bytes of arguments it removes from the stack.
  const std::map<std::string, MethodFake> input = {
      {"QueryInterface",
       {12,
        [](ImportCall& c) {
          return QueryInterface(c, Kind::kDirectInput, "IDirectInput8W::QueryInterface");
        }}},
      {"AddRef",
       {4, [](ImportCall& c) { return AddRef(c, Kind::kDirectInput, "IDirectInput8W::AddRef"); }}},
      {"Release",
       {4,
        [](ImportCall& c) { return Release(c, Kind::kDirectInput, "IDirectInput8W::Release"); }}},
      {"CreateDevice", {16, CreateDevice}},
  };
  const std::map<std::string, MethodFake> keyboard = {
      {"QueryInterface",
       {12,
        [](ImportCall& c) {
          return QueryInterface(c, Kind::kKeyboard, "IDirectInputDevice8W::QueryInterface");
        }}},
      {"AddRef",
       {4,
        [](ImportCall& c) { return AddRef(c, Kind::kKeyboard, "IDirectInputDevice8W::AddRef"); }}},
      {"Release",
       {4,
        [](ImportCall& c) {
          return Release(c, Kind::kKeyboard, "IDirectInputDevice8W::Release");
        }}},
      {"SetDataFormat", {8, SetDataFormat}},
      {"Acquire", {4, AcquireKeyboard}},
      {"Unacquire", {4, UnacquireKeyboard}},
      {"GetDeviceState", {12, GetDeviceState}},
  };
  m.directInputVtable =
      MakeVtable(m, "IDirectInput8W", kDirectInputMethods, std::size(kDirectInputMethods), input);
  m.keyboardVtable = MakeVtable(m, "IDirectInputDevice8W", kKeyboardMethods,
                                std::size(kKeyboardMethods), keyboard);
}

void AddWindowsImports(ImportTable& t) {
  ImportDefinition create;
  create.convention = Convention::kStdcall;
  create.argBytes = 20;  // (instance, version, interface, result, outer)
  create.handler = [](ImportCall& c) -> uint32_t {
    Machine& m = c.machine();
    m.windows.directInputCalls.push_back("DirectInput8Create");
    const uint32_t out = c.Arg(3);
    m.Write32(out, 0);
    if (c.Arg(0) != kHostModule) Complain(m, "DirectInput8Create: not the program's instance");
    if (c.Arg(1) != kDirectInputVersion || ReadGuid(m, c.Arg(2)) != kIidDirectInput8W ||
        c.Arg(4) != 0) {
      Complain(m, "DirectInput8Create: not version 0x0800 of IDirectInput8W, or aggregated");
      return kDiErrInvalidParam;
    }
    if (m.windows.directInputCreateResult != kDiOk) return m.windows.directInputCreateResult;
    m.Write32(out, NewObject(m, ComObject::Kind::kDirectInput, m.directInputVtable));
    return kDiOk;
  };
  t["dinput8.dll!DirectInput8Create"] = create;

  ImportDefinition box;
  box.convention = Convention::kStdcall;
  box.argBytes = 16;  // (owner, text, caption, style)
  box.handler = [](ImportCall& c) -> uint32_t {
    Machine& m = c.machine();
    MessageBoxCall call;
    call.owner = c.Arg(0);
    call.text = c.Arg(1) != 0 ? m.ReadWString(c.Arg(1)) : u"";
    call.caption = c.Arg(2) != 0 ? m.ReadWString(c.Arg(2)) : u"";
    call.style = c.Arg(3);
    m.windows.messageBoxes.push_back(call);
    return kIdOk;
  };
  t["user32.dll!MessageBoxW"] = box;
}

}  // namespace atsemu
