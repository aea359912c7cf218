#include "widgets/Xptreeview.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterXptreeview() { RegisterComponentClass("TXPTreeView"); }

}  // namespace zuvo::widgets
