#include "widgets/Xpchecklistbox.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterXpchecklistbox() { RegisterComponentClass("TXPCheckListBox"); }

}  // namespace zuvo::widgets
