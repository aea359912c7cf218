// Fuzz target "pagefile": a page file (ValidatePageFile, LoadPageFile with ParsePageBody and the
// migrations of every version, BuildPageFile, SavePageFile).
// Input: the file's bytes.
// Property: the reader never changes or removes the file it reads; a file loads exactly when it
// validates and its body holds together, and a validated version-12 file of sound records
// parses; a page that loaded saves as a valid version-12 file that reads back, and from the
// second generation on a save of what was read is the same file byte for byte.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "shell/PageFile.h"

#include <string>
#include <string_view>

namespace {

constexpr const char* kPagePath = "..\\user\\zvpage1.ppg";
constexpr const char* kPageFile = "user/zvpage1.ppg";

std::string BodyOf(const std::string& file) { return file.substr(kPageHeaderSize); }

}  // namespace

int FuzzPageFile(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const int version = ValidatePageFile(input);
  FUZZ_CHECK(version == 0 || PageRecordSizesOf(version).attr != 0, "a valid file names a known version");

  fuzz::Sandbox::Write(kPageFile, input);
  PageModel model;
  const PageLoadResult result = LoadPageFile(kPagePath, model);
  FUZZ_CHECK(fuzz::Sandbox::Read(kPageFile) == input, "reading a page file never changes or removes it");
  FUZZ_CHECK((result == PageLoadResult::kLoaded) == static_cast<bool>(model.top), "a model exactly when loaded");
  if (version == 0) {
    FUZZ_CHECK(result == PageLoadResult::kInvalid, "a file that does not validate is refused");
    return 0;
  }
  if (result != PageLoadResult::kLoaded) return 0;
  FUZZ_CHECK(model.version == version, "the model keeps the version read");

  const std::string first = BuildPageFile(model, model.name);
  FUZZ_CHECK(ValidatePageFile(first) == kPageFileVersion, "a saved page validates as version 12");
  std::string path = kPagePath;
  FUZZ_CHECK(SavePageFile(model, path, kPageSaveAuto, nullptr) == PageSaveResult::kSaved, "the page saves");
  FUZZ_CHECK(fuzz::Sandbox::Read(kPageFile) == first, "the file saved is the page built, nothing more");

  PageModel again;
  FUZZ_CHECK(LoadPageFile(kPagePath, again) == PageLoadResult::kLoaded, "a saved page reads back");
  const std::string second = BuildPageFile(again, again.name);
  auto third = ParsePageBody(BodyOf(second), kPageFileVersion);
  FUZZ_CHECK(third != nullptr, "the second generation parses");
  PageModel thirdModel;
  thirdModel.top = std::move(third);
  FUZZ_CHECK(BuildPageFile(thirdModel, again.name) == second, "a page read and saved again is the same file");
  return 0;
}
