// Every unit of the package registers here; a unit adds its Register() call when it lands.
#include "widgets/Package.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpcheckbox.h"
#include "widgets/Xpradiobutton.h"
#include "widgets/Xppushradiobutton.h"
#include "widgets/Msgdrawgrid.h"
#include "widgets/Ownerdrawpanel.h"
#include "widgets/Zvpagetab.h"
#include "widgets/Xpedit.h"
#include "widgets/Xppriceedit.h"
#include "widgets/Xpmemo.h"
#include "widgets/Xprichedit.h"
#include "widgets/Xplistbox.h"
#include "widgets/Xpchecklistbox.h"
#include "widgets/Xptreeview.h"
#include "widgets/Xpstringgrid.h"
#include "widgets/Xpcombobox.h"
#include "widgets/Xpupdown.h"
#include "widgets/Xppagecontrol.h"
#include "widgets/Xptabcontrol.h"

namespace zuvo::widgets {

void RegisterAll() {
  RegisterXpbutton();
  RegisterXpcheckbox();
  RegisterXpradiobutton();
  RegisterXppushradiobutton();
  RegisterMsgdrawgrid();
  RegisterOwnerdrawpanel();
  RegisterZvpagetab();
  RegisterXpedit();
  RegisterXppriceedit();
  RegisterXpmemo();
  RegisterXprichedit();
  RegisterXplistbox();
  RegisterXpchecklistbox();
  RegisterXptreeview();
  RegisterXpstringgrid();
  RegisterXpcombobox();
  RegisterXpupdown();
  RegisterXppagecontrol();
  RegisterXptabcontrol();
}

}  // namespace zuvo::widgets
