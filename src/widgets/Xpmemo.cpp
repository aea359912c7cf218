#include "widgets/Xpmemo.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterXpmemo() { RegisterComponentClass("TXPMemo"); }

}  // namespace zuvo::widgets
