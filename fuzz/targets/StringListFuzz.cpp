// Fuzz target "stringlist": a text file read into the string lists of the form class library,
// and the same bytes read as comma text.
// Input: the file's bytes.
// Property: the file loads; its lines hold no CR or LF and together are the file without its CR
// and LF bytes; Text read back gives the same lines, as does the file saved and loaded again;
// a sorted list of the lines is in order, holds every line and finds each by binary search;
// CommaText read back gives the same strings, for the file's lines and for the bytes read as
// comma text.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/StringList.h"

#include <string>

namespace {

constexpr const char* kListFile = "..\\cfg\\list.txt";

void CheckCommaRoundTrip(const TStringList& list) {
  TStringList back;
  back.SetCommaText(list.CommaText());
  FUZZ_CHECK(back.Equals(list), "CommaText reads back to the same strings");
}

}  // namespace

int FuzzStringList(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzz::Sandbox::Write("cfg/list.txt", bytes);

  TStringList list;
  FUZZ_CHECK(list.LoadFromFile(kListFile), "a file that is there loads");
  std::string joined;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string line = list.Get(i);
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, "a line holds no line break");
    joined += line;
  }
  std::string content;
  for (char c : bytes) {
    if (c != '\r' && c != '\n') content += c;
  }
  FUZZ_CHECK(joined == content, "the lines are the file without its line breaks");

  TStringList again;
  again.SetText(list.Text());
  FUZZ_CHECK(again.Equals(list), "Text reads back to the same lines");
  FUZZ_CHECK(list.SaveToFile(kListFile), "the list saves");
  TStringList reloaded;
  FUZZ_CHECK(reloaded.LoadFromFile(kListFile) && reloaded.Equals(list), "a saved list loads back the same");

  TStringList sorted;
  sorted.SetSorted(true);
  sorted.Assign(list);
  for (int i = 1; i < sorted.Count(); ++i) {
    FUZZ_CHECK(AnsiCompareText(sorted.Get(i - 1), sorted.Get(i)) < 0, "a sorted list without duplicates is in strict order");
    FUZZ_CHECK(AnsiCompareText(sorted.Get(i), sorted.Get(i - 1)) > 0, "the comparison is antisymmetric");
  }
  for (int i = 0; i < list.Count(); ++i) {
    int index = -1;
    FUZZ_CHECK(sorted.Find(list.Get(i), index) && AnsiCompareText(sorted.Get(index), list.Get(i)) == 0,
               "every line is found in the sorted list");
  }

  CheckCommaRoundTrip(list);
  TStringList comma;
  comma.SetCommaText(bytes);
  CheckCommaRoundTrip(comma);
  return 0;
}
