#include "widgets/Xplistbox.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterXplistbox() { RegisterComponentClass("TXPListBox"); }

}  // namespace zuvo::widgets
