#include "core/EWnd.h"
#include "platform/Message.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records what the subclass sees.
class Probe : public EWnd {
 public:
  explicit Probe(bool* deleted = nullptr) : deleted_(deleted) {}
  ~Probe() override {
    if (deleted_ != nullptr) *deleted_ = true;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(message);
    if (message == WM_CREATE) handleAtCreate = handle;
    if (message == WM_SIZE) sizeSeen = SIZE{width, height};
    if (message == WM_PAINT) {
      ++paints;
      PAINTSTRUCT ps;
      BeginPaint(handle, &ps);
      EndPaint(handle, &ps);
      return 0;
    }
    return EWnd::WindowProc(message, wParam, lParam);
  }
  std::vector<UINT> seen;
  HWND handleAtCreate = nullptr;
  SIZE sizeSeen{-1, -1};
  int paints = 0;

 private:
  bool* deleted_;
};

bool Saw(const Probe& p, UINT message) {
  return std::find(p.seen.begin(), p.seen.end(), message) != p.seen.end();
}

TEST(EWndTest, CreateBindsTheObjectAndForwardsFromCreationOn) {
  Probe first;
  Probe second;
  WNDCLASSA info;
  ASSERT_TRUE(GetClassInfoA(nullptr, "EWnd", &info));   // registered once, by the first
  EXPECT_EQ(info.style & CS_DBLCLKS, CS_DBLCLKS);
  EXPECT_EQ(info.hbrBackground, nullptr);
  ASSERT_EQ(first.Create(0, WS_POPUP | WS_VISIBLE, 0, 0, 300, 20, nullptr), 1);
  EXPECT_NE(first.handle, nullptr);
  EXPECT_EQ(first.handleAtCreate, first.handle);
  EXPECT_FALSE(Saw(first, WM_NCCREATE));   // before WM_CREATE: default processing only
  EXPECT_TRUE(Saw(first, WM_CREATE));
  // The size is kept before the subclass sees WM_SIZE.
  EXPECT_EQ(first.sizeSeen.cx, 300);
  EXPECT_EQ(first.sizeSeen.cy, 20);
  EXPECT_EQ(LookupEWnd(first.handle), &first);
  ASSERT_EQ(second.Create(0, WS_CHILD, 1, 1, 5, 5, first.handle), 1);
  EXPECT_EQ(EWndHandleMap().GetBucketCount(), 131);
  EXPECT_EQ(EWndHandleMap().GetCount(), 2);
  MoveWindow(second.handle, 0, 0, 40, 12, FALSE);
  EXPECT_EQ(second.width, 40);
  EXPECT_EQ(second.height, 12);
}

TEST(EWndTest, DestroyUnbindsAndEmptiesTheMap) {
  Probe probe;
  ASSERT_EQ(probe.Create(0, WS_POPUP, 0, 0, 10, 10, nullptr), 1);
  HWND h = probe.handle;
  probe.Destroy();
  EXPECT_EQ(probe.handle, nullptr);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(LookupEWnd(h), nullptr);
  EXPECT_TRUE(Saw(probe, WM_NCDESTROY));
  // The last entry gone, the map gave back its buckets; the next window gets 131 again.
  EXPECT_FALSE(EWndHandleMap().HasBuckets());
  ASSERT_EQ(probe.Create(0, WS_POPUP, 0, 0, 10, 10, nullptr), 1);
  EXPECT_EQ(EWndHandleMap().GetBucketCount(), 131);
}

TEST(EWndTest, AutoDeleteObjectLivesExactlyAsLongAsItsWindow) {
  bool deleted = false;
  auto* probe = new Probe(&deleted);
  probe->autoDelete = 1;
  ASSERT_EQ(probe->Create(0, WS_POPUP, 0, 0, 10, 10, nullptr), 1);
  HWND h = probe->handle;
  EXPECT_FALSE(deleted);
  DestroyWindow(h);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(LookupEWnd(h), nullptr);

  // Deleting such an object directly must not delete it a second time through its window.
  bool deletedDirectly = false;
  auto* other = new Probe(&deletedDirectly);
  other->autoDelete = 1;
  ASSERT_EQ(other->Create(0, WS_POPUP, 0, 0, 10, 10, nullptr), 1);
  HWND otherHandle = other->handle;
  delete other;
  EXPECT_TRUE(deletedDirectly);
  EXPECT_FALSE(IsWindow(otherHandle));
}

// Refuses its creation, or destroys its window while handling WM_CREATE.
class Refuser : public Probe {
 public:
  Refuser(bool* deleted, bool destroyInCreate) : Probe(deleted), destroyInCreate_(destroyInCreate) {}
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_CREATE) {
      if (!destroyInCreate_) return -1;
      DestroyWindow(handle);
      return 0;
    }
    return Probe::WindowProc(message, wParam, lParam);
  }

 private:
  bool destroyInCreate_;
};

TEST(EWndTest, AutoDeleteObjectWhoseCreationFailsIsGoneWhenCreateReturns) {
  for (bool destroyInCreate : {false, true}) {
    SCOPED_TRACE(destroyInCreate ? "destroyed in WM_CREATE" : "WM_CREATE refused");
    bool deleted = false;
    auto* refuser = new Refuser(&deleted, destroyInCreate);
    refuser->autoDelete = 1;
    // The object is deleted inside the creation: Create must not touch it afterwards.
    EXPECT_EQ(refuser->Create(0, WS_POPUP, 0, 0, 10, 10, nullptr), 0);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(EWndHandleMap().GetCount(), 0);
  }
}

TEST(EWndTest, WindowDestroyedBeforeTheObjectIsSafeToDelete) {
  auto* probe = new Probe();
  ASSERT_EQ(probe->Create(0, WS_POPUP, 0, 0, 10, 10, nullptr), 1);
  DestroyWindow(probe->handle);
  EXPECT_EQ(probe->handle, nullptr);
  delete probe;   // nothing left to destroy
}

TEST(EWndTest, RedrawPaintsAtOnceAndTextExtentNeedsNoContext) {
  Probe probe;
  ASSERT_EQ(probe.Create(0, WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr), 1);
  zuvo::platform::ProcessPendingMessages();
  int before = probe.paints;
  probe.Redraw();
  EXPECT_EQ(probe.paints, before + 1);

  SIZE own = probe.GetTextExtent("成交");
  EXPECT_GT(own.cx, 0);
  EXPECT_GT(own.cy, 0);
  HFONT big = CreateFontA(-30, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "宋体");
  HDC dc = probe.GetDC();
  HGDIOBJ selected = GetCurrentObject(dc, OBJ_FONT);
  SIZE withFont = probe.GetTextExtent("成交", dc, big);
  EXPECT_GT(withFont.cx, own.cx);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), selected);   // the font is selected for the measurement only
  probe.ReleaseDC(dc);
  DeleteObject(big);

  Probe unbound;
  SIZE none = unbound.GetTextExtent("x");
  EXPECT_EQ(none.cx, 0);
}

}  // namespace
