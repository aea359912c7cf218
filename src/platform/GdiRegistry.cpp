#include "platform/internal/GdiRegistry.h"

#include "platform/internal/Screen.h"

#include <cstring>

namespace zuvo::platform::gdi {
namespace {

// The record a table holds for a handle, or null.
template <typename Table>
typename Table::mapped_type Lookup(const Table& table, const void* handle) {
  auto found = table.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == table.end() ? nullptr : found->second;
}

}  // namespace

Registry& GdiRegistry() {
  static Registry* registry = new Registry;   // never destroyed: see the header
  return *registry;
}

std::uintptr_t Registry::NextHandle(Tables& tables) {
  std::uintptr_t handle = tables.nextHandle;
  tables.nextHandle += 4;
  return handle;
}

HGDIOBJ Registry::Add(ObjectPtr object) {
  auto tables = tables_.Lock();
  std::uintptr_t handle = NextHandle(*tables);
  tables->handleOf[object.get()] = handle;
  tables->objects[handle] = std::move(object);
  return reinterpret_cast<HGDIOBJ>(handle);
}

ObjectPtr Registry::Find(HGDIOBJ handle) { return Lookup(tables_.Lock()->objects, handle); }

HGDIOBJ Registry::HandleOf(const ObjectPtr& object) {
  if (!object) return nullptr;
  auto tables = tables_.Lock();
  auto found = tables->handleOf.find(object.get());
  return found == tables->handleOf.end() ? nullptr : reinterpret_cast<HGDIOBJ>(found->second);
}

bool Registry::Delete(HGDIOBJ handle) {
  auto tables = tables_.Lock();
  auto found = tables->objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == tables->objects.end()) return false;
  if (found->second->stock) return true;
  tables->handleOf.erase(found->second.get());
  tables->objects.erase(found);
  return true;
}

HDC Registry::AddContext(DcPtr context) {
  auto tables = tables_.Lock();
  std::uintptr_t handle = NextHandle(*tables);
  tables->contexts[handle] = std::move(context);
  return reinterpret_cast<HDC>(handle);
}

DcPtr Registry::FindContext(HDC handle) { return Lookup(tables_.Lock()->contexts, handle); }

bool Registry::DeleteContext(HDC handle, Which which) {
  auto tables = tables_.Lock();
  auto found = tables->contexts.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == tables->contexts.end()) return false;
  const bool page = found->second->target() == Dc::Target::Page;
  if ((which == Which::Page) != page) return false;
  if (which == Which::NotMemory && found->second->memory()) return false;
  tables->contexts.erase(found);
  return true;
}

const Registry::StockSet& Registry::Stocks() {
  std::call_once(stockOnce_, [this] {
    // Fonts need the application's font database.
    platform::EnsureApplication();
    std::vector<std::pair<int, ObjectPtr>> made = {
        {WHITE_BRUSH, MakeBrush(BS_SOLID, RGB(255, 255, 255))},
        {LTGRAY_BRUSH, MakeBrush(BS_SOLID, RGB(192, 192, 192))},
        {GRAY_BRUSH, MakeBrush(BS_SOLID, RGB(128, 128, 128))},
        {DKGRAY_BRUSH, MakeBrush(BS_SOLID, RGB(64, 64, 64))},
        {BLACK_BRUSH, MakeBrush(BS_SOLID, RGB(0, 0, 0))},
        {NULL_BRUSH, MakeBrush(BS_NULL, 0)},
        {WHITE_PEN, MakePen(PS_SOLID, 1, RGB(255, 255, 255))},
        {BLACK_PEN, MakePen(PS_SOLID, 1, RGB(0, 0, 0))},
        {NULL_PEN, MakePen(PS_NULL, 1, 0)},
    };
    LOGFONTA lf{};
    lf.lfHeight = 16;
    lf.lfWeight = FW_BOLD;
    std::strcpy(lf.lfFaceName, "System");
    made.emplace_back(SYSTEM_FONT, MakeFont(lf));
    lf.lfHeight = -12;
    lf.lfWeight = FW_NORMAL;
    std::strcpy(lf.lfFaceName, "宋体");
    made.emplace_back(DEFAULT_GUI_FONT, MakeFont(lf));
    made.emplace_back(ANSI_VAR_FONT, MakeFont(lf));
    made.emplace_back(DEVICE_DEFAULT_FONT, MakeFont(lf));
    std::strcpy(lf.lfFaceName, "Courier New");
    made.emplace_back(ANSI_FIXED_FONT, MakeFont(lf));
    made.emplace_back(OEM_FIXED_FONT, MakeFont(lf));
    made.emplace_back(SYSTEM_FIXED_FONT, MakeFont(lf));
    auto palette = std::make_shared<Object>();
    palette->kind = Kind::Palette;
    made.emplace_back(DEFAULT_PALETTE, std::move(palette));
    for (auto& [index, object] : made) {
      object->stock = true;
      Add(object);
      stock_.byIndex[index] = object;
    }
    auto bitmap = std::make_shared<Object>();
    bitmap->kind = Kind::Bitmap;
    bitmap->stock = true;
    bitmap->image = QImage(1, 1, QImage::Format_RGB32);
    bitmap->image.fill(Qt::white);
    Add(bitmap);
    stock_.defaultBitmap = std::move(bitmap);
    for (std::uintptr_t index = 0; index < kSysColorBrushLimit; ++index)
      stock_.sysColorBrushes[index] = MakeBrush(BS_SOLID, GetSysColor(static_cast<int>(index)));
  });
  return stock_;
}

ObjectPtr Registry::Stock(int index) {
  const StockSet& stock = Stocks();
  auto found = stock.byIndex.find(index);
  return found == stock.byIndex.end() ? nullptr : found->second;
}

ObjectPtr Registry::DefaultBitmap() { return Stocks().defaultBitmap; }

QImage& Registry::ScreenImage() {
  QImage& image = *screenImage_;
  if (image.isNull()) RefreshScreenImage();
  return image;
}

void Registry::RefreshScreenImage() {
  QImage& image = *screenImage_;
  image = platform::screen::Current();
  if (image.isNull()) image = QImage(1, 1, QImage::Format_RGB32);
}

ObjectPtr Registry::SysColorBrush(std::uintptr_t value) {
  if (value == 0 || value > kSysColorBrushLimit) return nullptr;
  return Stocks().sysColorBrushes[value - 1];
}

ObjectPtr BrushObject(HBRUSH brush) {
  Registry& registry = GdiRegistry();
  if (ObjectPtr system = registry.SysColorBrush(reinterpret_cast<std::uintptr_t>(brush))) return system;
  ObjectPtr object = registry.Find(brush);
  return object && object->kind == Kind::Brush ? object : nullptr;
}

}  // namespace zuvo::platform::gdi
