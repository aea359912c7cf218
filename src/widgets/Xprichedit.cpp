#include "widgets/Xprichedit.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

void RegisterXprichedit() { RegisterComponentClass("TXPRichEdit"); }

}  // namespace zuvo::widgets
