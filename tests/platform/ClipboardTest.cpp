#include "platform/Clipboard.h"
#include "platform/Application.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "platform/internal/GlobalMemory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace gm = zuvo::platform::globalmem;
using zuvo::platform::gbk::ToUtf16;

HGLOBAL BlockOf(const std::string& bytes, bool withZero = true) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + (withZero ? 1 : 0));
  std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
  GlobalUnlock(block);
  return block;
}

std::string BytesOf(HGLOBAL block) {
  SIZE_T size = GlobalSize(block);
  const char* data = static_cast<const char*>(GlobalLock(block));
  std::string bytes(data, strnlen(data, size));
  GlobalUnlock(block);
  return bytes;
}

// Runs a call on a thread of its own and gives back its result and last error.
template <class F>
std::pair<std::intptr_t, DWORD> OnOtherThread(F f) {
  std::pair<std::intptr_t, DWORD> out;
  std::thread t([&] {
    out.first = static_cast<std::intptr_t>(f());
    out.second = GetLastError();
  });
  t.join();
  return out;
}

// ---- Global memory ---------------------------------------------------------------------------

TEST(GlobalMemoryTest, BlocksLockCountSizeAndFree) {
  struct Case { UINT flags; SIZE_T bytes; };
  const Case cases[] = {{GMEM_MOVEABLE, 0}, {GMEM_MOVEABLE, 1}, {GHND, 100}, {GMEM_FIXED, 7}, {GPTR, 4096}};
  std::size_t live = gm::LiveCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags << " bytes " << c.bytes);
    HGLOBAL block = GlobalAlloc(c.flags, c.bytes);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), c.bytes);
    char* data = static_cast<char*>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    if ((c.flags & GMEM_MOVEABLE) == 0) EXPECT_EQ(static_cast<void*>(data), block);
    else EXPECT_NE(static_cast<void*>(data), block);
    for (SIZE_T i = 0; i < c.bytes; ++i) ASSERT_EQ(data[i], 0) << i;
    std::memset(data, 'x', c.bytes);
    EXPECT_EQ(GlobalLock(block), data);           // second lock, same address
    EXPECT_EQ(GlobalUnlock(block), TRUE);          // one lock left
    EXPECT_EQ(GlobalUnlock(block), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);      // the last lock went
    EXPECT_EQ(GlobalUnlock(block), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
    EXPECT_EQ(std::string(static_cast<char*>(GlobalLock(block)), c.bytes), std::string(c.bytes, 'x'));
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
    // Freed: the handle names nothing any more.
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(gm::LiveCount(), live);
}

TEST(GlobalMemoryTest, BadHandlesFailAndChangeNothing) {
  HGLOBAL freed = GlobalAlloc(GHND, 8);
  GlobalFree(freed);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::size_t live = gm::LiveCount();
  const HGLOBAL bad[] = {nullptr, freed, reinterpret_cast<HGLOBAL>(std::uintptr_t{0x1234}),
                         INVALID_HANDLE_VALUE, event};
  for (HGLOBAL h : bad) {
    SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(h));
    SetLastError(0);
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(GlobalUnlock(h), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(GlobalFree(h), h);                    // failure gives the handle back
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(gm::LiveCount(), live);
  EXPECT_NE(WaitForSingleObject(event, 0), WAIT_FAILED);   // the event was not touched
  CloseHandle(event);

  SetLastError(0);
  EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(GlobalMemoryTest, TableIsThreadSafe) {
  std::size_t live = gm::LiveCount();
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        HGLOBAL h = GlobalAlloc(i % 2 ? GHND : GPTR, 16 + i);
        auto* p = static_cast<unsigned char*>(GlobalLock(h));
        if (p == nullptr) { ++faults; continue; }
        p[0] = static_cast<unsigned char>(t);
        if (GlobalSize(h) != static_cast<SIZE_T>(16 + i) || p[1] != 0) ++faults;
        GlobalUnlock(h);
        if (GlobalFree(h) != nullptr) ++faults;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(gm::LiveCount(), live);
}

// ---- Clipboard calls over the in-memory double -----------------------------------------------

class ClipboardTest : public testing::Test {
 protected:
  void SetUp() override {
    // Let go of whatever an earlier test left held, then count the blocks.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    live_ = gm::LiveCount();
  }
  void TearDown() override {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
    EXPECT_EQ(gm::LiveCount(), live_) << "global memory leaked";
  }
  zuvo::platform::ScopedInMemoryClipboard clip_;
  std::size_t live_ = 0;
};

TEST_F(ClipboardTest, TextRoundTripsThroughTheCallsByteForByte) {
  const std::string texts[] = {"", "rb2410", "上海期货交易所 螺纹钢\r\n第二行", "〇兀镕", "全角ＡＢＣ１２３",
                               std::string("\x80" "abc\xFF", 5), std::string("tail lead \x81", 11)};
  for (const std::string& text : texts) {
    SCOPED_TRACE(zuvo::platform::gbk::ToUtf8(text));
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    HGLOBAL block = BlockOf(text);
    EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
    EXPECT_EQ(clip_->Text(), ToUtf16(text));          // published as Unicode
    EXPECT_TRUE(CloseClipboard());

    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE got = GetClipboardData(CF_TEXT);
    EXPECT_EQ(got, block);                            // the very block put
    EXPECT_EQ(BytesOf(got), text);
    EXPECT_TRUE(CloseClipboard());
  }
}

TEST_F(ClipboardTest, TextFromElsewhereIsConvertedWhenGbkHoldsIt) {
  clip_->SetText(u"螺纹钢 rb2410\n");
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE got = GetClipboardData(CF_TEXT);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(BytesOf(got), "螺纹钢 rb2410\n");
  EXPECT_EQ(GetClipboardData(CF_TEXT), got);          // asked again: the same block
  EXPECT_EQ(GlobalFree(got), got);                    // the clipboard's, not the caller's
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(BytesOf(got), "螺纹钢 rb2410\n");
  CloseClipboard();
}

TEST_F(ClipboardTest, TextGbkCannotHoldAndDataOfOtherKindsAreRefused) {
  struct Case { const char* name; std::u16string text; DWORD error; };
  const Case cases[] = {
      {"hangul", u"한글", ERROR_INVALID_DATA},
      {"emoji after GBK text", u"螺纹钢\U0001F600", ERROR_INVALID_DATA},
      {"replacement character", u"a\uFFFDb", ERROR_INVALID_DATA},
      {"lone surrogate", std::u16string(1, char16_t(0xD800)), ERROR_INVALID_DATA},
      {"zero inside", std::u16string(u"a\0b", 3), ERROR_INVALID_DATA},
      {"not text", u"", ERROR_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Put by this process first, then replaced from elsewhere: the old block must not answer.
    Clipboard()->SetAsText("旧文本");
    if (c.error == ERROR_NOT_FOUND) clip_->SetNonText();
    else clip_->SetText(c.text);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
    ASSERT_TRUE(OpenClipboard(nullptr));
    SetLastError(0);
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
    CloseClipboard();
    EXPECT_EQ(Clipboard()->AsText(), "");
    if (c.error != ERROR_NOT_FOUND) {
      EXPECT_EQ(clip_->Text(), c.text);   // left as it was
    }
  }
}

TEST_F(ClipboardTest, CallsWithoutOpeningFail) {
  clip_->SetText(u"原有");
  HGLOBAL block = BlockOf("新");
  SetLastError(0);
  EXPECT_EQ(SetClipboardData(CF_TEXT, block), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CLIPBOARD_NOT_OPEN);
  SetLastError(0);
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CLIPBOARD_NOT_OPEN);
  SetLastError(0);
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(GetLastError(), ERROR_CLIPBOARD_NOT_OPEN);
  SetLastError(0);
  EXPECT_FALSE(CloseClipboard());
  EXPECT_EQ(GetLastError(), ERROR_CLIPBOARD_NOT_OPEN);
  EXPECT_EQ(clip_->Text(), u"原有");                  // nothing changed
  EXPECT_EQ(GlobalFree(block), nullptr);               // the block stayed the caller's

  // Open here: another thread can neither open it nor use it.
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(OpenClipboard(nullptr));                 // the same opener again
  auto other = OnOtherThread([] { return OpenClipboard(nullptr); });
  EXPECT_EQ(other.first, FALSE);
  EXPECT_EQ(other.second, ERROR_ACCESS_DENIED);
  other = OnOtherThread([] { return EmptyClipboard(); });
  EXPECT_EQ(other.second, ERROR_CLIPBOARD_NOT_OPEN);
  other = OnOtherThread([] { return reinterpret_cast<std::intptr_t>(GetClipboardData(CF_TEXT)); });
  EXPECT_EQ(other.first, 0);
  other = OnOtherThread([] { return CloseClipboard(); });
  EXPECT_EQ(other.first, FALSE);
  EXPECT_EQ(other.second, ERROR_CLIPBOARD_NOT_OPEN);
  EXPECT_EQ(OnOtherThread([] { return IsClipboardFormatAvailable(CF_TEXT); }).first, TRUE);
  EXPECT_TRUE(CloseClipboard());
  other = OnOtherThread([] { return OpenClipboard(nullptr) && CloseClipboard(); });
  EXPECT_EQ(other.first, TRUE);
}

LRESULT Plain(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST_F(ClipboardTest, OpenedByOneWindowAtATime) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = Plain;
  wc.lpszClassName = "ClipboardOwner";
  RegisterClassA(&wc);
  HWND a = CreateWindowExA(0, "ClipboardOwner", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND b = CreateWindowExA(0, "ClipboardOwner", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND gone = CreateWindowExA(0, "ClipboardOwner", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  SetLastError(0);
  EXPECT_FALSE(OpenClipboard(gone));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  ASSERT_TRUE(OpenClipboard(a));
  SetLastError(0);
  EXPECT_FALSE(OpenClipboard(b));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(OpenClipboard(nullptr));
  EXPECT_TRUE(CloseClipboard());
  EXPECT_TRUE(OpenClipboard(b));
  EXPECT_TRUE(CloseClipboard());
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(ClipboardTest, SetTakesTheBlockOnlyWhenItSucceeds) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  // Refused: wrong format, bad handles. The caller keeps (and frees) a refused block.
  HGLOBAL block = BlockOf("合约");
  SetLastError(0);
  EXPECT_EQ(SetClipboardData(2, block), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  const HANDLE bad[] = {nullptr, reinterpret_cast<HANDLE>(std::uintptr_t{0x1234})};
  for (HANDLE h : bad) {
    SetLastError(0);
    EXPECT_EQ(SetClipboardData(CF_TEXT, h), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_FALSE(clip_->Text().has_value());

  // Taken: the caller may no longer free it; the next data replaces it and frees it.
  EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
  EXPECT_EQ(GlobalFree(block), block);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);   // the same block again stays alive
  EXPECT_EQ(BytesOf(block), "合约");
  HGLOBAL noZero = BlockOf("ab", /*withZero=*/false);
  EXPECT_EQ(SetClipboardData(CF_TEXT, noZero), noZero);
  EXPECT_EQ(GlobalSize(block), 0u);                     // the first one is gone
  EXPECT_EQ(clip_->Text(), u"ab");                      // a block without a zero byte is whole
  EXPECT_EQ(BytesOf(GetClipboardData(CF_TEXT)), "ab");
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(GlobalSize(noZero), 0u);
  EXPECT_FALSE(clip_->Text().has_value());
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  CloseClipboard();
}

TEST_F(ClipboardTest, TClipboardRoundTripNestingAndClear) {
  TClipboard* clipboard = Clipboard();
  EXPECT_EQ(clipboard, Clipboard());
  clipboard->SetAsText("螺纹钢主力 rb2410");
  EXPECT_EQ(clip_->Text(), u"螺纹钢主力 rb2410");
  EXPECT_TRUE(clipboard->HasFormat(CF_TEXT));
  EXPECT_FALSE(clipboard->HasFormat(2));
  EXPECT_EQ(clipboard->AsText(), "螺纹钢主力 rb2410");
  clipboard->SetAsText(std::string("前\0后", 5));         // stops at the zero byte
  EXPECT_EQ(clipboard->AsText(), "前");

  // Open/Close nest: the clipboard stays open until the last Close.
  clipboard->Open();
  clipboard->Open();
  clipboard->SetAsText("甲");
  clipboard->Close();
  EXPECT_EQ(OnOtherThread([] { return OpenClipboard(nullptr); }).first, FALSE);
  clipboard->Close();
  EXPECT_EQ(OnOtherThread([] { return OpenClipboard(nullptr) && CloseClipboard(); }).first, TRUE);
  clipboard->Close();                                    // unmatched: ignored

  clipboard->Clear();
  EXPECT_FALSE(clipboard->HasFormat(CF_TEXT));
  EXPECT_EQ(clipboard->AsText(), "");

  // Held by another thread: Open raises, the others too, and nothing changes.
  std::atomic<bool> opened{false}, release{false};
  std::thread holder([&] {
    OpenClipboard(nullptr);
    opened = true;
    while (!release) std::this_thread::yield();
    CloseClipboard();
  });
  while (!opened) std::this_thread::yield();
  EXPECT_THROW(clipboard->Open(), EClipboardException);
  EXPECT_THROW(clipboard->SetAsText("乙"), EClipboardException);
  release = true;
  holder.join();
  EXPECT_FALSE(clip_->Text().has_value());
  EXPECT_EQ(clipboard->AsText(), "");
}

// ---- The system clipboard (Qt's, offscreen) -----------------------------------------------------

TEST(ClipboardSystemTest, GbkRoundTripThroughQtsClipboard) {
  ASSERT_TRUE(zuvo::platform::EnsureApplication());
  std::shared_ptr<zuvo::platform::ClipboardService> previous = zuvo::platform::SetClipboardService(nullptr);
  std::shared_ptr<zuvo::platform::ClipboardService> system = zuvo::platform::GetClipboardService();
  system->SetText(u"probe");
  if (system->Text() != std::u16string(u"probe")) {
    zuvo::platform::SetClipboardService(previous);
    GTEST_SKIP() << "no working clipboard on this platform";
  }
  Clipboard()->SetAsText("上海期货交易所 螺纹钢");
  EXPECT_EQ(system->Text(), u"上海期货交易所 螺纹钢");
  EXPECT_EQ(Clipboard()->AsText(), "上海期货交易所 螺纹钢");
  system->SetText(u"大连商品交易所 豆粕");
  EXPECT_EQ(Clipboard()->AsText(), "大连商品交易所 豆粕");
  system->SetText(u"한글");
  EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->AsText(), "");
  Clipboard()->Clear();
  EXPECT_FALSE(system->Text().has_value());
  zuvo::platform::SetClipboardService(previous);
}

}  // namespace
