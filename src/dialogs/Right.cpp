#include "dialogs/Right.h"

#include "platform/Panel.h"
#include "platform/Shell.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"

#include <cstdint>
#include <cstdio>
#include <vector>

using zuvo::widgets::TXPButton;

namespace {

constexpr const char* kLogoFile = ".\\logo.bmp";
constexpr int kPictureSize = 48;

void PutLe(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The built-in picture: a plain square of blue shades, made as a 24-bit BMP file's bytes.
std::vector<std::uint8_t> StoredPicture() {
  const int rowBytes = (kPictureSize * 3 + 3) & ~3;
  const std::size_t pixels = static_cast<std::size_t>(rowBytes) * kPictureSize;
  std::vector<std::uint8_t> bytes(54 + pixels, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutLe(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
  PutLe(bytes, 10, 54, 4);
  PutLe(bytes, 14, 40, 4);
  PutLe(bytes, 18, kPictureSize, 4);
  PutLe(bytes, 22, kPictureSize, 4);
  PutLe(bytes, 26, 1, 2);
  PutLe(bytes, 28, 24, 2);
  for (int y = 0; y < kPictureSize; ++y) {
    for (int x = 0; x < kPictureSize; ++x) {
      const std::size_t at = 54 + static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x) * 3;
      bytes[at] = static_cast<std::uint8_t>(160 + y);      // blue
      bytes[at + 1] = static_cast<std::uint8_t>(80 + x);   // green
      bytes[at + 2] = 40;                                  // red
    }
  }
  return bytes;
}

TLabel* MakeLabel(Trighrbox* form, const char* name, const char* caption, int left, int top, int width) {
  auto* label = new TLabel(form);
  label->SetName(name);
  label->SetParent(form);
  label->SetBounds(left, top, width, 17);
  label->SetCaption(caption);
  return label;
}

}  // namespace

std::string FormatBuildVersion(unsigned build) {
  char text[40];
  std::snprintf(text, sizeof text, "%u.%u.%u", build / 10000000u, (build % 10000000u) / 10000u, build % 10000u);
  return text;
}

Trighrbox::Trighrbox(TComponent* owner) : TForm(owner) {
  SetName("righrbox");
  SetCaption("关于");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(340);
  SetClientHeight(150);

  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetBounds(14, 14, 64, 64);
  Image1->SetCenter(true);
  const std::vector<std::uint8_t> picture = StoredPicture();
  Image1->Picture()->LoadFromBytes(picture.data(), picture.size());

  Label1 = MakeLabel(this, "Label1", "行情分析终端", 96, 16, 230);
  Label2 = MakeLabel(this, "Label2", "版本:", 96, 40, 40);
  Label10 = MakeLabel(this, "Label10", "", 140, 40, 120);
  Label10->SetCursor(crHandPoint);
  Label10->OnClick = Handler(this, &Trighrbox::Label10Click);
  Label3 = MakeLabel(this, "Label3", "本程序按原样提供，仅供行情浏览与技术分析参考。", 96, 64, 236);
  Label3->SetWordWrap(true);
  Label3->SetHeight(34);
  Label8 = MakeLabel(this, "Label8", "程序说明", 96, 104, 120);
  Label8->SetCursor(crHandPoint);
  Label8->Font()->SetColor(clBlue);
  Label8->OnClick = Handler(this, &Trighrbox::Label8Click);

  Button1 = new TXPButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(252, 116, 75, 25);
  Button1->SetCaption("确定");
  Button1->SetDefault(true);
  Button1->SetCancel(true);
  Button1->SetModalResult(mrOk);
  SetActiveControl(Button1);

  OnCreate = Handler(this, &Trighrbox::FormCreate);
}

void Trighrbox::FormCreate(TObject*) {
  // A load that fails keeps the picture there was.
  Image1->Picture()->LoadFromFile(kLogoFile);
  Label10->SetCaption(FormatBuildVersion(kProgramBuild));
}

void Trighrbox::Label8Click(TObject*) { OpenPage(kAboutPage); }

void Trighrbox::Label10Click(TObject*) { OpenPage(kUpdateLogPage); }

bool Trighrbox::OpenPage(const std::string& address) {
  const bool web = zuvo::platform::IsAllowedAddress(address);
  HINSTANCE result = web ? ShellExecuteA(Handle(), "open", "IEXPLORE.EXE", address.c_str(), nullptr, SW_SHOWNORMAL)
                         : ShellExecuteA(Handle(), "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) > 32) return true;
  MessageBoxA(Handle(), "无法启动浏览器。  ", "错误", MB_OK | MB_ICONERROR);
  return false;
}
