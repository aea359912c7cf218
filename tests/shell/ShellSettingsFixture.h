// Settings fixtures for the shell tests, header-only and self-contained:
//
// - ShellSettings: a temporary install tree (bin/ is the current directory) with UserDir at
//   ..\user\, and writers for the settings the shell reads: [UI] keys of <UserDir>defui.ini,
//   [Parameter] keys of <UserDir>SETTING.ini, [PARAMETER] SysBlocks of ..\CFG\SETTING.INI; hand-
//   made markets and preset blocks (..\cfg\blocks.ini) built into the block tables. Everything
//   (UserDir, markets, blocks, the profile cache) is put back when it goes away.
// - ScriptedIndicatorCatalog / ScopedIndicatorCatalog: an indicator list given as (name,
//   placement) pairs, installed as IndicatorCatalog() for a scope.
// - RecordingShellDialogs / ScopedShellDialogs: a dialog seam that records every options fill
//   (with whether ModalDialogOpen() held while it was shown) and answers the block chooser from
//   a script; installed as ShellDialogs() for a scope.
//
// Typical use:
//   shelltest::ShellSettings settings;
//   const int sh = settings.AddMarket("SH", "上海", {"600000", "600001"});
//   settings.AddBlock("自选", {"SH 600001"});
//   settings.BuildBlocks();
//   settings.SetSysBlocks("自选");
//   settings.SetUi("DefCycle", "9");
#pragma once

#include "data/BlockGroup.h"
#include "data/MarketTestUtil.h"
#include "data/UtilData.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "shell/IndicatorCatalog.h"
#include "shell/ModalDialog.h"
#include "shell/ShellDialogs.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace shelltest {

class ShellSettings {
 public:
  ShellSettings() {
    std::memcpy(savedUserDir_, UserDir, sizeof savedUserDir_);
    std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");
    zuvo::platform::profile::ClearCache();
  }
  ~ShellSettings() {
    ClearBlocks();
    markettest::ScopedMarkets::Clear();
    std::memcpy(UserDir, savedUserDir_, sizeof savedUserDir_);
    zuvo::platform::profile::ClearCache();
  }
  ShellSettings(const ShellSettings&) = delete;
  ShellSettings& operator=(const ShellSettings&) = delete;

  const testsupport::TempInstall& install() const { return install_; }

  // [UI] key of <UserDir>defui.ini; a null value removes the key.
  void SetUi(const char* key, const char* value) { Write("UI", key, value, "..\\user\\defui.ini"); }
  // [Parameter] key of <UserDir>SETTING.ini (the user's chart settings).
  void SetUserParameter(const char* key, const char* value) {
    Write("Parameter", key, value, "..\\user\\SETTING.ini");
  }
  // [PARAMETER] SysBlocks of ..\CFG\SETTING.INI (the program's copy); null removes the key, so
  // the built-in default list applies.
  void SetSysBlocks(const char* names) { Write("PARAMETER", "SysBlocks", names, "..\\CFG\\SETTING.INI"); }

  // Installs a market with one category ("<code>类") and the instruments in the given order;
  // markets are numbered 0, 1, ... in the order they are added. Returns the market number.
  // Its automatic blocks are named `name` and "<code>类".
  int AddMarket(const char* code, const char* name, const std::vector<std::string>& codes) {
    const int number = nextMarket_++;
    MarketRecord record = markettest::MakeRecord(code, 1, static_cast<int>(codes.size()) + 8, 1, code);
    std::snprintf(record.name, sizeof record.name, "%s", name);
    std::snprintf(record.categories[0].name, sizeof record.categories[0].name, "%s类", code);
    std::vector<InstrumentRecord> names;
    for (const std::string& c : codes) names.push_back(markettest::MakeInstrument(c.c_str()));
    markets_.Add(number, record, names);
    return number;
  }

  // A preset block with members "<market code> <instrument code>" (no members: an empty
  // block). Written to ..\cfg\blocks.ini by BuildBlocks, in the order added.
  void AddBlock(const std::string& name, const std::vector<std::string>& members) {
    blocks_.emplace_back(name, members);
  }

  // Writes the preset block file and rebuilds the block tables (automatic blocks of the
  // markets first, then the preset blocks).
  void BuildBlocks() {
    std::string text = "[FileInfo]\r\nVersion=1\r\n";
    for (const auto& [name, members] : blocks_) {
      text += "\r\n[" + name + "]\r\n";
      for (std::size_t i = 0; i < members.size(); ++i) {
        text += "I" + std::to_string(i + 1) + "=" + members[i] + "\r\n";
      }
    }
    testsupport::WriteBytes(install_.cfg() / "blocks.ini", text);
    zuvo::platform::profile::ClearCache();
    RebuildBlocks();
  }

  static BlockRecord* Block(const char* name) { return FindBlockByName(name); }

 private:
  static void Write(const char* section, const char* key, const char* value, const char* file) {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, file)) << file << " [" << section << "] " << key;
  }

  testsupport::TempInstall install_;
  markettest::ScopedMarkets markets_;
  char savedUserDir_[kUserDirSize];
  int nextMarket_ = 0;
  std::vector<std::pair<std::string, std::vector<std::string>>> blocks_;
};

// An indicator list of (name, placement) pairs in list order: GetIndexAt counts through it,
// FindIndex ignores ASCII case, the lock is a real mutex.
class ScriptedIndicatorCatalog final : public IIndicatorCatalog {
 public:
  explicit ScriptedIndicatorCatalog(const std::vector<std::pair<std::string, int>>& indicators) {
    for (const auto& [name, placement] : indicators) {
      IndicatorDef def;
      std::memset(def.name, 0, sizeof def.name);
      std::snprintf(def.name, sizeof def.name, "%s", name.c_str());
      def.description = name;
      def.flags = static_cast<unsigned>(placement) & 3u;
      defs_.push_back(def);
    }
  }
  const IndicatorDef* GetIndexAt(int n) override {
    return n >= 0 && n < static_cast<int>(defs_.size()) ? &defs_[static_cast<std::size_t>(n)] : nullptr;
  }
  const IndicatorDef* FindIndex(const char* name) override {
    if (name == nullptr) return nullptr;
    for (const IndicatorDef& def : defs_) {
      if (zuvo::platform::gbk::EqualsNoCase(def.name, name)) return &def;
    }
    return nullptr;
  }
  void Lock() override { lock_.lock(); }
  void Unlock() override { lock_.unlock(); }

 private:
  std::deque<IndicatorDef> defs_;   // stable addresses
  std::mutex lock_;
};

// Installs a catalog as IndicatorCatalog() for its lifetime, then puts the previous one back.
class ScopedIndicatorCatalog {
 public:
  explicit ScopedIndicatorCatalog(IIndicatorCatalog* catalog) : previous_(SetIndicatorCatalog(catalog)) {}
  ~ScopedIndicatorCatalog() { SetIndicatorCatalog(previous_); }
  ScopedIndicatorCatalog(const ScopedIndicatorCatalog&) = delete;
  ScopedIndicatorCatalog& operator=(const ScopedIndicatorCatalog&) = delete;

 private:
  IIndicatorCatalog* previous_;
};

// Records what the shell asked of its dialogs. The block chooser answers from chooserAnswers
// in order (cancelled when the script is used up).
class RecordingShellDialogs final : public IShellDialogs {
 public:
  struct OptionsShown {
    TWinControl* owner;
    QuoteOptionsFill fill;
    bool modalOpen;   // ModalDialogOpen() while the dialog was shown
  };
  struct ChooserShown {
    TWinControl* owner;
    BlockChooserRequest request;
    bool modalOpen;
  };

  std::optional<std::uint16_t> ChooseBlock(TWinControl* owner, const BlockChooserRequest& request) override {
    choosers.push_back({owner, request, ModalDialogOpen()});
    if (chooserAnswers.empty()) return std::nullopt;
    const std::optional<std::uint16_t> answer = chooserAnswers.front();
    chooserAnswers.pop_front();
    return answer;
  }
  void ShowQuoteOptions(TWinControl* owner, const QuoteOptionsFill& fill) override {
    options.push_back({owner, fill, ModalDialogOpen()});
  }

  std::deque<std::optional<std::uint16_t>> chooserAnswers;
  std::vector<OptionsShown> options;
  std::vector<ChooserShown> choosers;
};

// Installs dialogs as ShellDialogs() for its lifetime, then puts the previous ones back.
class ScopedShellDialogs {
 public:
  explicit ScopedShellDialogs(IShellDialogs* dialogs) : previous_(SetShellDialogs(dialogs)) {}
  ~ScopedShellDialogs() { SetShellDialogs(previous_); }
  ScopedShellDialogs(const ScopedShellDialogs&) = delete;
  ScopedShellDialogs& operator=(const ScopedShellDialogs&) = delete;

 private:
  IShellDialogs* previous_;
};

}  // namespace shelltest
