#include "widgets/Xpedit.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterXpedit() { RegisterComponentClass("TXPEdit"); }

}  // namespace zuvo::widgets
