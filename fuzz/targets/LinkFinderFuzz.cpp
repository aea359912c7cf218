// Fuzz target "links": the link finder of the rich edit over texts from outside (company texts,
// news and notes from the server, loaded into the information views' text panes).
// Input: GBK text bytes, as a text pane loads them.
// Property: the links come in order without overlapping, inside the text; each starts with one of
// the prefixes (ASCII case ignored) not inside a word, holds more than its prefix, holds only
// printable ASCII, and does not end with sentence punctuation; the text of a link found alone is
// that one link again.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/RichEdit.h"
#include "platform/Text.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool StartsWithPrefix(std::u16string_view link, std::size_t* prefixLength) {
  static constexpr std::u16string_view kPrefixes[] = {u"http://", u"https://", u"ftp://", u"mailto:", u"www."};
  for (std::u16string_view p : kPrefixes) {
    if (link.size() < p.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < p.size() && same; ++i) {
      char16_t c = link[i];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      same = c == p[i];
    }
    if (same) {
      *prefixLength = p.size();
      return true;
    }
  }
  return false;
}

bool IsAsciiAlnum(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

}  // namespace

int FuzzLinkFinder(const std::uint8_t* data, std::size_t size) {
  const std::u16string text =
      zuvo::platform::gbk::ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::vector<CHARRANGE> links = zuvo::platform::FindLinks(text);
  LONG previousEnd = 0;
  for (const CHARRANGE& r : links) {
    FUZZ_CHECK(r.cpMin >= previousEnd && r.cpMin < r.cpMax, "links in order, not overlapping");
    FUZZ_CHECK(static_cast<std::size_t>(r.cpMax) <= text.size(), "link inside the text");
    previousEnd = r.cpMax;
    const std::u16string_view link = std::u16string_view(text).substr(static_cast<std::size_t>(r.cpMin),
                                                                      static_cast<std::size_t>(r.cpMax - r.cpMin));
    std::size_t prefix = 0;
    FUZZ_CHECK(StartsWithPrefix(link, &prefix), "a link starts with a prefix");
    FUZZ_CHECK(link.size() > prefix, "a link holds more than its prefix");
    FUZZ_CHECK(r.cpMin == 0 || !IsAsciiAlnum(text[static_cast<std::size_t>(r.cpMin) - 1]), "no link inside a word");
    for (char16_t c : link) FUZZ_CHECK(c > 0x20 && c < 0x7F, "a link is printable ASCII");
    const char16_t last = link.back();
    FUZZ_CHECK(last != u'.' && last != u',' && last != u';' && last != u':' && last != u'!' && last != u'?',
               "no sentence punctuation at a link's end");
    const std::vector<CHARRANGE> again = zuvo::platform::FindLinks(link);
    FUZZ_CHECK(again.size() == 1 && again[0].cpMin == 0 && again[0].cpMax == r.cpMax - r.cpMin,
               "a link alone is found whole");
  }
  return 0;
}
