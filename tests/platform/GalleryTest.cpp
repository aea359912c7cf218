// One dialog with each standard control, shown as the screen composes it: what each control
// paints in its own image must be what the screen shows at its place (edges included). With
// ZUVO_SCREENSHOT set to a file name the composed dialog is also saved there, for a look by eye.
#include "platform/Button.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/Panel.h"
#include "platform/ScrollBar.h"
#include "platform/TabControl.h"
#include "platform/ToolBar.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>

namespace {

template <class T>
T* Place(TWinControl* parent, int l, int t, int w, int h, const char* caption = nullptr) {
  T* c = new T(parent);
  c->SetBounds(l, t, w, h);
  c->SetParent(parent);
  if (caption != nullptr) c->SetCaption(caption);
  return c;
}

TEST(GalleryTest, TheScreenShowsWhatEachControlPaints) {
  auto* form = NewForm<TForm>(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 560, 240);
  auto* bar = Place<TToolBar>(form, 0, 0, 360, 26);
  bar->SetFlat(true);
  for (int i = 0; i < 3; ++i) {
    auto* b = new TToolButton(bar);
    b->SetParent(bar);
    b->SetStyle(tbsCheck);
  }
  auto* panel = Place<TPanel>(form, 10, 34, 160, 40, "面板");
  panel->SetBevelInner(bvLowered);
  Place<TLabel>(form, 180, 34, 80, 16, "&Name 名称");
  auto* ok = Place<TButton>(form, 180, 54, 75, 25, "确定");
  ok->SetDefault(true);
  Place<TButton>(form, 264, 54, 75, 25, "取消");
  auto* group = Place<TGroupBox>(form, 10, 82, 160, 80, "分组");
  auto* first = Place<TRadioButton>(group, 10, 20, 120, 17, "第一");
  Place<TRadioButton>(group, 10, 42, 120, 17, "第二");
  first->SetChecked(true);
  auto* box = Place<TCheckBox>(form, 180, 90, 120, 17, "选中");
  box->SetChecked(true);
  auto* text = Place<TStaticText>(form, 180, 114, 120, 20, "静态");
  text->SetBorderStyle(sbsSunken);
  auto* scroll = Place<TScrollBar>(form, 10, 172, 200, 16);
  scroll->SetPageSize(20);
  scroll->SetPosition(30);
  Place<TUpDown>(form, 220, 168, 16, 24);
  Place<TBevel>(form, 10, 200, 340, 2);
  auto* tabs = Place<TTabSet>(form, 10, 210, 340, 21);
  tabs->Tabs()->Add("全部");
  tabs->Tabs()->Add("自选");
  tabs->SetTabIndex(0);
  auto* pages = Place<TPageControl>(form, 360, 34, 190, 160);
  for (const char* caption : {"常规", "高级"}) {
    auto* sheet = new TTabSheet(pages);
    sheet->SetPageControl(pages);
    sheet->SetCaption(caption);
  }
  pages->SetActivePageIndex(0);
  form->Show();
  zuvo::platform::ProcessPendingMessages();

  auto top = zuvo::platform::win::Find(form->Handle());
  ASSERT_NE(top, nullptr);
  const QImage shown = top->widget->grab().toImage();
  if (const char* file = std::getenv("ZUVO_SCREENSHOT")) shown.save(file);

  for (int i = 0; i < form->ControlCount(); ++i) {
    auto* control = dynamic_cast<TWinControl*>(form->Controls(i));
    if (control == nullptr) continue;
    SCOPED_TRACE(control->ClassName());
    RECT r{};
    GetWindowRect(control->Handle(), &r);
    POINT corner{r.left, r.top};
    ScreenToClient(form->Handle(), &corner);
    HDC dc = GetWindowDC(control->Handle());
    // A few points of each control, its corner and centre among them.
    const POINT points[] = {{0, 0}, {(r.right - r.left) / 2, (r.bottom - r.top) / 2}, {r.right - r.left - 1, r.bottom - r.top - 1}};
    for (const POINT& p : points) {
      const QRgb c = shown.pixel(corner.x + p.x, corner.y + p.y);
      EXPECT_EQ(RGB(qRed(c), qGreen(c), qBlue(c)), GetPixel(dc, p.x, p.y)) << p.x << "," << p.y;
    }
    ReleaseDC(control->Handle(), dc);
  }
  TComponent::Free(form);
}

}  // namespace
