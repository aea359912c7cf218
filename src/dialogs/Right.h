// The product information box "关于": the program's picture, name and version, and two links
// to pages shipped with the program (its description and its change log, in bin\help\), each
// opened with the desktop's opener; when that fails the box says "无法启动浏览器。". A
// ".\logo.bmp" beside the program replaces the picture; a missing or unreadable one keeps the
// picture built in. Modal, freed by its opener. UI thread only; text is GBK.
#pragma once

#include "platform/Form.h"

#include <string>

class TImage;
class TLabel;
namespace zuvo::widgets {
class TXPButton;
}

// The program's build number, shown as "major.minor.build" (FormatBuildVersion).
constexpr unsigned kProgramBuild = 10010003;

// "%u.%u.%u" of n / 10000000, (n mod 10000000) / 10000 and n mod 10000.
std::string FormatBuildVersion(unsigned build);

class Trighrbox : public TForm {
 public:
  // The pages the two links open (relative to the program's folder).
  static constexpr const char* kAboutPage = ".\\help\\about.htm";
  static constexpr const char* kUpdateLogPage = ".\\help\\updatelog.htm";

  explicit Trighrbox(TComponent* owner);
  const char* ClassName() const override { return "Trighrbox"; }

  void FormCreate(TObject* Sender);    // the picture and the version text
  void Label8Click(TObject* Sender);   // the program's page
  void Label10Click(TObject* Sender);  // the change log

  // Opens a page: a web address through "IEXPLORE.EXE", a local page as a document. False,
  // after the error box, when nothing could be started.
  bool OpenPage(const std::string& address);

  TImage* Image1 = nullptr;
  TLabel* Label1 = nullptr;    // the program's name
  TLabel* Label2 = nullptr;    // "版本:"
  TLabel* Label10 = nullptr;   // the version, hand cursor
  TLabel* Label3 = nullptr;    // the rights line
  TLabel* Label8 = nullptr;    // the page link, hand cursor
  zuvo::widgets::TXPButton* Button1 = nullptr;   // 确定
};
