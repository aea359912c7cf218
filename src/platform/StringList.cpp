// String lists of the form class library: the generic operations of TStrings on its virtual
// element calls, and TStringList's vector with its sorted order and change events.
#include "platform/StringList.h"

#include "platform/Files.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace {

[[noreturn]] void IndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

[[noreturn]] void SortedError() { throw EStringListError("Operation not allowed on sorted list"); }

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

unsigned char FoldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c; }

// Blanks and control characters, as the comma text reader skips and the writer quotes them.
bool IsBlank(unsigned char c) { return c <= ' '; }

// Ends an update when it goes out of scope, also when a change threw.
class UpdateScope {
 public:
  explicit UpdateScope(TStrings& list) : list_(list) { list_.BeginUpdate(); }
  ~UpdateScope() { list_.EndUpdate(); }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TStrings& list_;
};

struct Line {
  std::string text;
  void* object;
};

std::vector<Line> Snapshot(const TStrings& list) {
  std::vector<Line> lines;
  lines.reserve(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) lines.push_back(Line{list.Get(i), list.GetObject(i)});
  return lines;
}

// Replaces the whole content; when an addition throws (a sorted list refusing a duplicate) the
// old content is put back before the exception goes on.
void ReplaceAll(TStrings& list, const std::vector<Line>& lines) {
  UpdateScope update(list);
  std::vector<Line> old = Snapshot(list);
  try {
    list.Clear();
    for (const Line& line : lines) list.AddObject(line.text, line.object);
  } catch (...) {
    list.Clear();
    for (const Line& line : old) list.AddObject(line.text, line.object);
    throw;
  }
}

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    std::size_t start = i;
    while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
    lines.push_back(Line{text.substr(start, i - start), nullptr});
    if (i < n && text[i] == '\r') ++i;
    if (i < n && text[i] == '\n') ++i;
  }
  return lines;
}

}  // namespace

int AnsiCompareText(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t i = 0;
  while (i < n) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    // Equal bytes before keep both strings on the same character boundaries, so a lead byte
    // here starts a double-byte character in both.
    if (ca == cb && IsLeadByte(ca) && i + 1 < n) {
      const auto ta = static_cast<unsigned char>(a[i + 1]);
      const auto tb = static_cast<unsigned char>(b[i + 1]);
      if (ta != tb) return ta < tb ? -1 : 1;
      i += 2;
      continue;
    }
    const unsigned char fa = IsLeadByte(ca) ? ca : FoldAscii(ca);
    const unsigned char fb = IsLeadByte(cb) ? cb : FoldAscii(cb);
    if (fa != fb) return fa < fb ? -1 : 1;
    ++i;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// ---- TStrings ---------------------------------------------------------------------------------

int TStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, void* object) {
  UpdateScope update(*this);
  const int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::InsertObject(int index, const std::string& s, void* object) {
  UpdateScope update(*this);
  Insert(index, s);
  PutObject(index, object);
}

void TStrings::AddStrings(const TStrings& other) {
  UpdateScope update(*this);
  // A snapshot, as the other list may be this one.
  for (const Line& line : Snapshot(other)) AddObject(line.text, line.object);
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  ReplaceAll(*this, Snapshot(other));
}

void TStrings::Exchange(int a, int b) {
  if (a < 0 || a >= Count()) IndexError(a);
  if (b < 0 || b >= Count()) IndexError(b);
  if (a == b) return;
  UpdateScope update(*this);
  std::string textA = Get(a);
  void* objectA = GetObject(a);
  Put(a, Get(b));
  PutObject(a, GetObject(b));
  Put(b, textA);
  PutObject(b, objectA);
}

void TStrings::Move(int from, int to) {
  if (from < 0 || from >= Count()) IndexError(from);
  if (to < 0 || to >= Count()) IndexError(to);
  if (KeepsSortOrder()) SortedError();
  if (from == to) return;
  UpdateScope update(*this);
  std::string text = Get(from);
  void* object = GetObject(from);
  Delete(from);
  InsertObject(to, text, object);
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i) {
    if (AnsiCompareText(Get(i), s) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const void* object) const {
  for (int i = 0; i < Count(); ++i) {
    if (GetObject(i) == object) return i;
  }
  return -1;
}

int TStrings::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string line = Get(i);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && AnsiCompareText(line.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Names(int index) const {
  const std::string line = Get(index);
  const std::size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStrings::Values(const std::string& name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::string line = Get(index);
  return line.substr(line.find('=') + 1);
}

void TStrings::SetValue(const std::string& name, const std::string& value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  const std::string line = name + "=" + value;
  if (index < 0) {
    Add(line);
  } else if (!KeepsSortOrder()) {
    Put(index, line);
  } else {
    UpdateScope update(*this);
    void* object = GetObject(index);
    Delete(index);
    AddObject(line, object);
  }
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(const std::string& text) { ReplaceAll(*this, SplitLines(text)); }

std::string TStrings::CommaText() const {
  const int count = Count();
  if (count == 1 && Get(0).empty()) return "\"\"";
  std::string out;
  for (int i = 0; i < count; ++i) {
    if (i > 0) out += ',';
    const std::string s = Get(i);
    const bool quote = std::any_of(s.begin(), s.end(), [](char c) {
      return IsBlank(static_cast<unsigned char>(c)) || c == '"' || c == ',';
    });
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(const std::string& text) {
  std::vector<Line> items;
  const std::size_t n = text.size();
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < n && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == '"') {
      // Up to the closing quote, a doubled quote standing for one; an unclosed quote takes the rest.
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      const std::size_t start = i;
      while (i < n && !IsBlank(static_cast<unsigned char>(text[i])) && text[i] != ',') ++i;
      item = text.substr(start, i - start);
    }
    items.push_back(Line{std::move(item), nullptr});
    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      if (i == n) items.push_back(Line{std::string(), nullptr});   // a trailing comma ends with an empty string
      skipBlanks();
    }
  }
  ReplaceAll(*this, items);
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    if (Get(i) != other.Get(i)) return false;
  }
  return true;
}

bool TStrings::LoadFromFile(const std::string& path) {
  zuvo::platform::files::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.ok()) return false;
  std::string bytes;
  char buffer[16 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return false;
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  SetText(bytes);
  return true;
}

bool TStrings::SaveToFile(const std::string& path) const {
  const std::string text = Text();
  return zuvo::platform::files::AtomicReplace(path, text.data(), text.size());
}

void TStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ == 0) return;   // an unmatched call changes nothing
  if (--updateCount_ == 0) SetUpdateState(false);
}

// ---- TStringList ------------------------------------------------------------------------------

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
}

void TStringList::CheckUnsorted() const {
  if (sorted_) SortedError();
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)].text;
}

void TStringList::Put(int index, const std::string& s) {
  CheckUnsorted();
  CheckIndex(index);
  Changing();
  items_[static_cast<std::size_t>(index)].text = s;
  Changed();
}

void* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::PutObject(int index, void* object) {
  CheckIndex(index);
  Changing();
  items_[static_cast<std::size_t>(index)].object = object;
  Changed();
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, void* object) {
  int index = Count();
  if (sorted_ && Find(s, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) throw EStringListError("String list does not allow duplicates");
    // An accepted duplicate goes after the equal strings already there.
    while (index < Count() && AnsiCompareText(items_[static_cast<std::size_t>(index)].text, s) == 0) ++index;
  }
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
  return index;
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, void* object) {
  CheckUnsorted();
  if (index < 0 || index > Count()) IndexError(index);
  Changing();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  CheckUnsorted();
  if (a == b) return;
  Changing();
  std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
  Changed();
}

int TStringList::IndexOf(const std::string& s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index = 0;
  return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
  if (!sorted_) {
    index = TStrings::IndexOf(s);
    if (index >= 0) return true;
    index = Count();
    return false;
  }
  // The first position whose string is not below s.
  int low = 0, high = Count();
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (AnsiCompareText(items_[static_cast<std::size_t>(mid)].text, s) < 0) low = mid + 1;
    else high = mid;
  }
  index = low;
  return low < Count() && AnsiCompareText(items_[static_cast<std::size_t>(low)].text, s) == 0;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::Sort() {
  if (Count() < 2) return;
  if (std::is_sorted(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
        return AnsiCompareText(a.text, b.text) < 0;
      })) {
    return;
  }
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [](const Item& a, const Item& b) { return AnsiCompareText(a.text, b.text) < 0; });
  Changed();
}

void TStringList::CustomSort(const std::function<int(TStringList* list, int a, int b)>& compare) {
  if (sorted_ || Count() < 2 || !compare) return;
  std::vector<int> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  // The comparison sees the list unchanged while the order is worked out, and a comparison
  // that throws leaves it so.
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(this, a, b) < 0; });
  Changing();
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<std::size_t>(i)]));
  items_ = std::move(sorted);
  Changed();
}

void TStringList::Changing() {
  if (updateCount_ == 0) {
    if (OnChanging) OnChanging(this);
  } else if (!changedWhileUpdating_) {
    changedWhileUpdating_ = true;
    if (OnChanging) OnChanging(this);
  }
}

void TStringList::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating || !changedWhileUpdating_) return;
  changedWhileUpdating_ = false;
  if (OnChange) OnChange(this);
}
