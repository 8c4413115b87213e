#include "platform/gdi_objects.h"

#include <new>

namespace pelmor::platform {

HPALETTE CreatePalette(uint16_t version, const PALETTEENTRY* entries, uint32_t count) {
  if (entries == nullptr || count == 0) return nullptr;
  auto* p = new (std::nothrow) GdiPalette;
  if (p == nullptr) return nullptr;
  p->version = version;
  try {
    p->entries.assign(entries, entries + count);
  } catch (...) {
    delete p;
    return nullptr;
  }
  return p;
}

bool DeleteObject(HGDIOBJ object) {
  if (object == nullptr || object->selectCount > 0) return false;
  delete object;
  return true;
}

}  // namespace pelmor::platform
