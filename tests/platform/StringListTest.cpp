// String lists: sorted order of GBK text with ASCII case ignored, duplicates, the index
// exceptions, Text and CommaText in both directions, name=value lines, change events around
// updates, and loading and saving through the platform's file calls.
#include "platform/StringList.h"

#include "platform/FileFaults.h"
#include "platform/Files.h"

#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::TempInstall;

std::vector<std::string> Items(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

void Fill(TStrings& list, const std::vector<std::string>& items) {
  for (const std::string& s : items) list.Add(s);
}

TEST(StringListTest, CompareTextIgnoresAsciiCaseOnlyOutsideDoubleByteCharacters) {
  struct Case {
    std::string a, b;
    int sign;
  };
  const Case cases[] = {
      {"abc", "ABC", 0},
      {"abc", "ABD", -1},
      {"Zeta", "alpha", 1},
      {"ab", "abc", -1},
      {"", "", 0},
      {"", "a", -1},
      {"z", "浦发", -1},            // double-byte text after ASCII, in byte order
      {"啊", "浦", -1},             // B0A1 < C6D6
      {"中国", "浦发", 1},          // D6D0 > C6D6
      {"\x81\x41", "\x81\x61", -1},  // trail bytes that look like 'A' and 'a' differ
      {"x\x81\x41", "X\x81\x41", 0},
      {"[", "a", -1},               // letters compare as lower case: '[' (5B) < 'a' (61)
      {"\xB0", "\xB0\xA1", -1},     // a lone lead byte at the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " / " + c.b);
    const int got = AnsiCompareText(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign);
    const int back = AnsiCompareText(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign);
  }
}

TEST(StringListTest, SortedInsertsFindTheirPlace) {
  struct Case {
    std::vector<std::string> added;
    std::vector<std::string> sorted;
  };
  const Case cases[] = {
      {{"浦发", "Beta", "alpha", "中国", "啊"}, {"alpha", "Beta", "啊", "浦发", "中国"}},
      {{"b", "A", "a", "B"}, {"A", "b"}},   // dupIgnore: the first of equal strings stays
      {{"IF1005", "if0912", "If1003", "IC"}, {"IC", "if0912", "If1003", "IF1005"}},
      {{"\x81\x61", "\x81\x41", "\x81\x5A"}, {"\x81\x41", "\x81\x5A", "\x81\x61"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.SetSorted(true);
    Fill(list, c.added);
    EXPECT_EQ(Items(list), c.sorted);
    for (const std::string& s : c.sorted) {
      int index = -1;
      EXPECT_TRUE(list.Find(s, index)) << s;
      EXPECT_EQ(list.Get(index), s);
      EXPECT_EQ(list.IndexOf(s), index);
    }
    int where = -1;
    EXPECT_FALSE(list.Find("m", where));
    EXPECT_EQ(list.IndexOf("m"), -1);
  }

  // Where a missing string would go, and what Add returns.
  TStringList list;
  list.SetSorted(true);
  Fill(list, {"b", "d", "f"});
  int where = -1;
  EXPECT_FALSE(list.Find("E", where));
  EXPECT_EQ(where, 2);
  EXPECT_EQ(list.Add("E"), 2);
  EXPECT_EQ(list.Add("a"), 0);
  EXPECT_EQ(list.Add("z"), 5);
  EXPECT_EQ(list.Add("B"), 1);   // present: its index
  EXPECT_EQ(list.Count(), 6);
}

TEST(StringListTest, DuplicatesAreIgnoredAcceptedOrRefused) {
  int first = 1, second = 2, third = 3;
  TStringList ignore;
  ignore.SetSorted(true);
  ignore.AddObject("x", &first);
  EXPECT_EQ(ignore.AddObject("X", &second), 0);
  EXPECT_EQ(ignore.Count(), 1);
  EXPECT_EQ(ignore.Objects(0), &first);   // the string already there keeps its object

  TStringList accept;
  accept.SetSorted(true);
  accept.SetDuplicates(dupAccept);
  accept.AddObject("x", &first);
  accept.AddObject("a", nullptr);
  accept.AddObject("X", &second);
  accept.AddObject("x", &third);
  EXPECT_EQ(Items(accept), (std::vector<std::string>{"a", "x", "X", "x"}));   // in the order they came
  EXPECT_EQ(accept.Objects(1), &first);
  EXPECT_EQ(accept.Objects(3), &third);
  EXPECT_EQ(accept.IndexOf("X"), 1);

  TStringList refuse;
  refuse.SetSorted(true);
  refuse.SetDuplicates(dupError);
  Fill(refuse, {"a", "b"});
  EXPECT_THROW(refuse.Add("B"), EStringListError);
  EXPECT_EQ(Items(refuse), (std::vector<std::string>{"a", "b"}));
  // A text with a duplicate line is refused whole: the list keeps what it had.
  EXPECT_THROW(refuse.SetText("c\r\nd\r\nC\r\n"), EStringListError);
  EXPECT_EQ(Items(refuse), (std::vector<std::string>{"a", "b"}));

  // An unsorted list takes everything; sorting it keeps equal strings in their order.
  TStringList plain;
  Fill(plain, {"b", "B", "a", "b"});
  EXPECT_EQ(plain.Count(), 4);
  plain.SetSorted(true);
  EXPECT_EQ(Items(plain), (std::vector<std::string>{"a", "b", "B", "b"}));
}

TEST(StringListTest, IndexesOutsideTheListThrowAndChangeNothing) {
  TStringList list;
  Fill(list, {"a", "b", "c"});
  int object = 0;
  struct Case {
    const char* call;
    std::function<void()> run;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"Get(3)", [&] { list.Get(3); }, "List index out of bounds (3)"},
      {"Get(-1)", [&] { list.Get(-1); }, "List index out of bounds (-1)"},
      {"[5]", [&] { (void)list[5]; }, "List index out of bounds (5)"},
      {"Put(3)", [&] { list.Put(3, "x"); }, "List index out of bounds (3)"},
      {"Objects(4)", [&] { list.Objects(4); }, "List index out of bounds (4)"},
      {"PutObject(-2)", [&] { list.PutObject(-2, &object); }, "List index out of bounds (-2)"},
      {"Delete(3)", [&] { list.Delete(3); }, "List index out of bounds (3)"},
      {"Insert(4)", [&] { list.Insert(4, "x"); }, "List index out of bounds (4)"},
      {"Insert(-1)", [&] { list.InsertObject(-1, "x", &object); }, "List index out of bounds (-1)"},
      {"Exchange(0, 3)", [&] { list.Exchange(0, 3); }, "List index out of bounds (3)"},
      {"Move(0, 3)", [&] { list.Move(0, 3); }, "List index out of bounds (3)"},
      {"Move(7, 0)", [&] { list.Move(7, 0); }, "List index out of bounds (7)"},
      {"Names(3)", [&] { list.Names(3); }, "List index out of bounds (3)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    try {
      c.run();
      ADD_FAILURE() << "no exception";
    } catch (const EListError& e) {
      EXPECT_NE(dynamic_cast<const EStringListError*>(&e), nullptr);
      EXPECT_EQ(e.Message, c.message);
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c"}));
  }

  // Putting at an index is refused on a sorted list, before anything moves.
  TStringList sorted;
  sorted.SetSorted(true);
  Fill(sorted, {"c", "a", "b"});
  for (auto run : std::vector<std::function<void()>>{[&] { sorted.Insert(0, "z"); }, [&] { sorted.Put(0, "z"); },
                                                     [&] { sorted.Move(0, 2); }, [&] { sorted.Exchange(0, 2); }}) {
    try {
      run();
      ADD_FAILURE() << "no exception";
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message, "Operation not allowed on sorted list");
    }
    EXPECT_EQ(Items(sorted), (std::vector<std::string>{"a", "b", "c"}));
  }
  EXPECT_EQ(sorted.IndexOf("B"), 1);
}

TEST(StringListTest, ListOperationsKeepObjectsWithTheirStrings) {
  int one = 1, two = 2, three = 3;
  TStringList list;
  list.AddObject("one", &one);
  list.AddObject("two", &two);
  list.InsertObject(0, "three", &three);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"three", "one", "two"}));
  list.Move(0, 2);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(list.Objects(2), &three);
  list.Exchange(0, 1);
  EXPECT_EQ(list.Objects(0), &two);
  EXPECT_EQ(list.IndexOfObject(&one), 1);
  EXPECT_EQ(list.IndexOfObject(nullptr), -1);
  EXPECT_EQ(list.IndexOf("THREE"), 2);

  TStringList copy;
  copy.Add("old");
  copy.Assign(list);
  EXPECT_TRUE(copy.Equals(list));
  EXPECT_EQ(copy.Objects(2), &three);
  copy.AddStrings(copy);   // its own strings, once
  EXPECT_EQ(copy.Count(), 6);
  copy.Put(0, "TWO");
  EXPECT_FALSE(copy.Equals(list));   // case counts here
  copy.Delete(0);
  copy.Clear();
  EXPECT_EQ(copy.Count(), 0);

  // CustomSort: the longest first, equal lengths in their order.
  TStringList words;
  Fill(words, {"bb", "a", "dddd", "cc", "eee"});
  words.CustomSort([](TStringList* l, int a, int b) {
    return static_cast<int>(l->Get(b).size()) - static_cast<int>(l->Get(a).size());
  });
  EXPECT_EQ(Items(words), (std::vector<std::string>{"dddd", "eee", "bb", "cc", "a"}));
  words.Sort();
  EXPECT_EQ(Items(words), (std::vector<std::string>{"a", "bb", "cc", "dddd", "eee"}));
}

TEST(StringListTest, NameValueLines) {
  TStringList list;
  list.SetText("Host=127.0.0.1\r\nport=7709\r\nnoequals\r\n=empty name\r\n");
  EXPECT_EQ(list.Values("host"), "127.0.0.1");
  EXPECT_EQ(list.Values("PORT"), "7709");
  EXPECT_EQ(list.Values("noequals"), "");
  EXPECT_EQ(list.Values(""), "empty name");
  EXPECT_EQ(list.Names(0), "Host");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.IndexOfName("Port"), 1);
  list.SetValue("port", "80=81");
  EXPECT_EQ(list.Get(1), "port=80=81");
  EXPECT_EQ(list.Values("Port"), "80=81");
  list.SetValue("User", "张三");
  EXPECT_EQ(list.Get(4), "User=张三");
  list.SetValue("host", "");
  EXPECT_EQ(list.IndexOfName("Host"), -1);
  EXPECT_EQ(list.Count(), 4);
  list.SetValue("absent", "");
  EXPECT_EQ(list.Count(), 4);

  // A sorted list takes a changed line at its new place and keeps its object.
  int object = 0;
  TStringList sorted;
  sorted.SetSorted(true);
  sorted.AddObject("b=2", &object);
  sorted.Add("c=3");
  sorted.SetValue("B", "9");
  EXPECT_EQ(Items(sorted), (std::vector<std::string>{"B=9", "c=3"}));
  EXPECT_EQ(sorted.Objects(0), &object);
  sorted.SetValue("a", "1");
  EXPECT_EQ(sorted.Get(0), "a=1");
}

TEST(StringListTest, TextSplitsAtEveryLineBreakAndJoinsWithCrLf) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR", "a\rb\r", {"a", "b"}},
      {"no final break", "a\r\nb", {"a", "b"}},
      {"empty lines", "a\r\n\r\n\nb\r\n\r\n", {"a", "", "", "b", ""}},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
      {"empty", "", {}},
      {"one break", "\r\n", {""}},
      {"GBK", "浦发银行\r\n中国\n", {"浦发银行", "中国"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TStringList list;
    list.Add("old");
    list.SetText(c.text);
    EXPECT_EQ(Items(list), c.lines);
    std::string joined;
    for (const std::string& line : c.lines) joined += line + "\r\n";
    EXPECT_EQ(list.Text(), joined);
    TStringList again;
    again.SetText(list.Text());
    EXPECT_TRUE(again.Equals(list));
  }
}

TEST(StringListTest, CommaTextQuotesWhatWouldSplitAndReadsItBack) {
  struct Case {
    std::vector<std::string> items;
    std::string comma;
  };
  const Case cases[] = {
      {{"a", "b", "c"}, "a,b,c"},
      {{"a b", "c"}, "\"a b\",c"},
      {{"say \"hi\"", "x,y"}, "\"say \"\"hi\"\"\",\"x,y\""},
      {{"a", "", "b"}, "a,,b"},
      {{"a", ""}, "a,"},
      {{""}, "\"\""},
      {{}, ""},
      {{"浦发 银行", "中国"}, "\"浦发 银行\",中国"},
      {{"tab\there"}, "\"tab\there\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.comma);
    TStringList list;
    Fill(list, c.items);
    EXPECT_EQ(list.CommaText(), c.comma);
    TStringList back;
    back.Add("old");
    back.SetCommaText(c.comma);
    EXPECT_EQ(Items(back), c.items);
  }
  // Written by hand: blanks split unquoted text and surround items; an unclosed quote takes the rest.
  struct Read {
    std::string comma;
    std::vector<std::string> items;
  };
  const Read reads[] = {
      {"a b,c", {"a", "b", "c"}},
      {"  a ,  b  ", {"a", "b"}},
      {"\"a\"b", {"a", "b"}},
      {"\"open, quote", {"open, quote"}},
      {",a", {"", "a"}},
      {"   ", {}},
  };
  for (const Read& r : reads) {
    SCOPED_TRACE(r.comma);
    TStringList list;
    list.SetCommaText(r.comma);
    EXPECT_EQ(Items(list), r.items);
  }
}

TEST(StringListTest, UpdatesRaiseOneChangeAtTheEnd) {
  TStringList list;
  std::vector<std::string> events;
  list.OnChanging = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    events.push_back("changing " + std::to_string(list.Count()));
  };
  list.OnChange = [&](TObject*) { events.push_back("change " + std::to_string(list.Count())); };
  list.Add("a");
  EXPECT_EQ(events, (std::vector<std::string>{"changing 0", "change 1"}));

  events.clear();
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing 1"}));
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing 1", "change 2"}));
  EXPECT_EQ(list.UpdateCount(), 0);

  // An update without a change raises nothing; an unmatched EndUpdate is ignored.
  events.clear();
  list.BeginUpdate();
  list.IndexOf("b");
  list.EndUpdate();
  list.EndUpdate();
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(list.UpdateCount(), 0);

  // The composite operations are one change each.
  for (auto run : std::vector<std::function<void()>>{[&] { list.SetText("x\r\ny\r\nz\r\n"); },
                                                     [&] { list.SetCommaText("p,q"); },
                                                     [&] { list.Move(0, 1); },
                                                     [&] { list.SetSorted(true); },
                                                     [&] { list.Clear(); }}) {
    events.clear();
    run();
    EXPECT_EQ(events.size(), 2u) << (events.empty() ? "" : events[0]);
  }
  events.clear();
  list.Clear();   // already empty
  list.SetSorted(true);
  EXPECT_TRUE(events.empty());
}

TEST(StringListTest, LoadAndSaveThroughTheFileCalls) {
  TempInstall install;
  const std::string path = "..\\cfg\\list.txt";
  TStringList list;
  Fill(list, {"浦发银行", "", "IF1005=沪深300", "last"});
  ASSERT_TRUE(list.SaveToFile(path));
  EXPECT_EQ(testsupport::ReadBytes(install.root() / "cfg" / "list.txt"), list.Text());

  TStringList loaded;
  loaded.Add("old");
  ASSERT_TRUE(loaded.LoadFromFile(path));
  EXPECT_TRUE(loaded.Equals(list));

  // Files written elsewhere: LF ends, no final break.
  testsupport::WriteBytes(install.root() / "cfg" / "lf.txt", "b\nA\nc");
  TStringList sorted;
  sorted.SetSorted(true);
  ASSERT_TRUE(sorted.LoadFromFile("..\\cfg\\LF.TXT"));
  EXPECT_EQ(Items(sorted), (std::vector<std::string>{"A", "b", "c"}));

  // A failed load leaves the list as it was.
  EXPECT_FALSE(loaded.LoadFromFile("..\\cfg\\missing.txt"));
  EXPECT_FALSE(loaded.LoadFromFile("..\\cfg"));
  EXPECT_FALSE(loaded.LoadFromFile("..\\nofolder\\x.txt"));
  EXPECT_TRUE(loaded.Equals(list));

  // A failed save leaves the old file whole.
  TStringList other;
  other.Add("new");
  {
    zuvo::platform::files::ScopedFileFault fault(zuvo::platform::files::FileCall::kRename);
    EXPECT_FALSE(other.SaveToFile(path));
  }
  {
    zuvo::platform::files::ScopedFileFault fault(zuvo::platform::files::FileCall::kWrite);
    EXPECT_FALSE(other.SaveToFile(path));
  }
  EXPECT_EQ(testsupport::ReadBytes(install.root() / "cfg" / "list.txt"), list.Text());
  EXPECT_FALSE(other.SaveToFile("..\\nofolder\\x.txt"));
  ASSERT_TRUE(other.SaveToFile(path));
  EXPECT_EQ(testsupport::ReadBytes(install.root() / "cfg" / "list.txt"), "new\r\n");
}

}  // namespace
