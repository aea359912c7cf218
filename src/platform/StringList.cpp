// Placeholder bodies: replaced by the string list unit's implementation.
#include "platform/StringList.h"

int TStrings::Add(const std::string& s) { Insert(Count(), s); return Count() - 1; }
int TStrings::AddObject(const std::string& s, void* o) { int i = Add(s); PutObject(i, o); return i; }
void TStrings::InsertObject(int i, const std::string& s, void* o) { Insert(i, s); PutObject(i, o); }
void TStrings::AddStrings(const TStrings&) {}
void TStrings::Assign(const TStrings&) {}
void TStrings::Exchange(int, int) {}
void TStrings::Move(int, int) {}
int TStrings::IndexOf(const std::string&) const { return -1; }
int TStrings::IndexOfObject(const void*) const { return -1; }
int TStrings::IndexOfName(const std::string&) const { return -1; }
std::string TStrings::Names(int) const { return {}; }
std::string TStrings::Values(const std::string&) const { return {}; }
void TStrings::SetValue(const std::string&, const std::string&) {}
std::string TStrings::Text() const { return {}; }
void TStrings::SetText(const std::string&) {}
std::string TStrings::CommaText() const { return {}; }
void TStrings::SetCommaText(const std::string&) {}
bool TStrings::Equals(const TStrings&) const { return false; }
bool TStrings::LoadFromFile(const std::string&) { return false; }
bool TStrings::SaveToFile(const std::string&) const { return false; }
void TStrings::BeginUpdate() {}
void TStrings::EndUpdate() {}
std::string TStringList::Get(int i) const { return items_.at(i).text; }
void TStringList::Put(int i, const std::string& s) { items_.at(i).text = s; }
void* TStringList::GetObject(int i) const { return items_.at(i).object; }
void TStringList::PutObject(int i, void* o) { items_.at(i).object = o; }
int TStringList::Add(const std::string& s) { items_.push_back({s, nullptr}); return Count() - 1; }
void TStringList::Insert(int i, const std::string& s) { items_.insert(items_.begin() + i, Item{s, nullptr}); }
void TStringList::Delete(int i) { items_.erase(items_.begin() + i); }
void TStringList::Clear() { items_.clear(); }
void TStringList::Exchange(int, int) {}
int TStringList::IndexOf(const std::string&) const { return -1; }
void TStringList::SetSorted(bool s) { sorted_ = s; }
bool TStringList::Find(const std::string&, int&) const { return false; }
void TStringList::Sort() {}
void TStringList::CustomSort(const std::function<int(TStringList*, int, int)>&) {}
void TStringList::Changing() {}
void TStringList::Changed() {}
void TStringList::SetUpdateState(bool) {}
void TStringList::CheckIndex(int) const {}
int AnsiCompareText(const std::string&, const std::string&) { return 0; }
