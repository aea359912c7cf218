#include "net/PageCells.h"

namespace zuvo::net {
namespace {
IPageCells* installedCells = nullptr;
}

IPageCells* PageCells() { return installedCells; }
void SetPageCells(IPageCells* cells) { installedCells = cells; }

}  // namespace zuvo::net
