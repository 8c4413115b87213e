// The module's identity: class, interface and type-library identifiers, programmatic identifiers,
// the user-visible type names (by string number) and the status bits the controls report.
#pragma once

#include <cstdint>

#include "platform/ole/guid.h"
#include "platform/ole/hresult.h"
#include "platform/ole/stock_pages.h"

namespace pelmor {

using ole::GUID;
using ole::MakeGuid;

// Classes.
inline constexpr GUID CLSID_PelmorCtrl = MakeGuid("{5C13B0E6-7A41-11D3-9F2E-0040C7A91B35}");
inline constexpr GUID CLSID_Pelmor2Ctrl = MakeGuid("{D7F3A25C-1E84-4B6A-A0C3-6E1B9D24F871}");
inline constexpr GUID CLSID_PelmorPropPage = MakeGuid("{5C13B0E7-7A41-11D3-9F2E-0040C7A91B35}");
inline constexpr GUID CLSID_Pelmor2PropPage = MakeGuid("{6F0AD14B-C853-4E29-B7D6-18E4F3A9C20B}");
// The framework's stock property pages.
using ole::CLSID_StockColorPage;
using ole::CLSID_StockFontPage;

// The type library and its interfaces.
inline constexpr GUID LIBID_PELMORLib = MakeGuid("{5C13B0E2-7A41-11D3-9F2E-0040C7A91B35}");
inline constexpr uint16_t kTypeLibMajor = 1;
inline constexpr uint16_t kTypeLibMinor = 0;
inline constexpr GUID DIID_DPelmor = MakeGuid("{5C13B0E4-7A41-11D3-9F2E-0040C7A91B35}");
inline constexpr GUID DIID_DPelmorEvents = MakeGuid("{5C13B0E5-7A41-11D3-9F2E-0040C7A91B35}");
inline constexpr GUID DIID_DPelmor2 = MakeGuid("{3B8E61D0-9C27-4F15-8E4A-B27C05D3E96A}");
inline constexpr GUID DIID_DPelmor2Events = MakeGuid("{E45B9C83-2A6F-4D70-9B18-C3F6A0E2D457}");

inline constexpr const char* kProgIdPelmorCtrl = "PELMOR.PelmorCtrl.1";
inline constexpr const char* kProgIdPelmor2Ctrl = "PELMOR.PelmorCtrl.2";
inline constexpr const char* kProgIdPelmorPropPage = "PELMOR.PelmorPropPage.1";
inline constexpr const char* kProgIdPelmor2PropPage = "PELMOR.PelmorPropPage.2";

// String numbers of the module's texts.
inline constexpr uint32_t IDS_PELMOR = 1;             // "Pelmor Control"
inline constexpr uint32_t IDS_PELMOR_PPG = 2;         // "Pelmor Property Page"
inline constexpr uint32_t IDS_PELMOR2 = 3;            // "Pelmor2 Control"
inline constexpr uint32_t IDS_PELMOR2_PPG = 4;        // "Pelmor2 Property Page"
inline constexpr uint32_t IDS_PELMOR_PROPERTIES = 0xFE41;  // "Pelmor Properties" (the verb)

// The module's text with that number, or "" when there is none.
const char* LoadModuleString(uint32_t id);

// Recompose on resize, can't link inside, inside-out, activate when visible, set client site
// first: 0x20191.
inline constexpr uint32_t kPelmorMiscStatus =
    ole::OLEMISC_RECOMPOSEONRESIZE | ole::OLEMISC_CANTLINKINSIDE | ole::OLEMISC_INSIDEOUT |
    ole::OLEMISC_ACTIVATEWHENVISIBLE | ole::OLEMISC_SETCLIENTSITEFIRST;

}  // namespace pelmor
