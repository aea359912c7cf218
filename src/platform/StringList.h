// The form class library's string lists: GBK strings, each with an object pointer, as the
// list boxes, combo boxes, memos and the program's own lists use them. An index outside the
// list throws EStringListError (Control.h). Any thread, one list per thread.
#pragma once

#include "platform/Control.h"

#include <functional>
#include <string>
#include <vector>

class TStrings : public TObject {
 public:
  ~TStrings() override = default;

  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s) = 0;
  virtual void* GetObject(int index) const = 0;
  virtual void PutObject(int index, void* object) = 0;
  virtual void Insert(int index, const std::string& s) = 0;   // index == Count appends
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  std::string Strings(int index) const { return Get(index); }
  std::string operator[](int index) const { return Get(index); }
  void* Objects(int index) const { return GetObject(index); }
  virtual int Add(const std::string& s);   // returns the index it took
  virtual int AddObject(const std::string& s, void* object);
  virtual void InsertObject(int index, const std::string& s, void* object);
  void AddStrings(const TStrings& other);
  void Assign(const TStrings& other);   // strings and objects
  virtual void Exchange(int a, int b);
  // Both indexes are checked before anything moves; EStringListError on a sorted list.
  virtual void Move(int from, int to);
  // The first index of the string (ASCII case ignored), -1 when absent.
  virtual int IndexOf(const std::string& s) const;
  int IndexOfObject(const void* object) const;
  // name=value lines.
  int IndexOfName(const std::string& name) const;
  std::string Names(int index) const;
  std::string Values(const std::string& name) const;
  // Replaces the line of the name in place (a sorted list: at the new line's place) or adds
  // one; an empty value deletes the line.
  void SetValue(const std::string& name, const std::string& value);
  // Lines joined with CR LF (each followed by one); setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& text);
  // Comma-separated, strings with blanks, control characters, commas or quotes quoted with ""
  // (inner quotes doubled); a single empty string is "". Setting splits unquoted text at
  // blanks as well as at commas.
  std::string CommaText() const;
  void SetCommaText(const std::string& text);
  bool Equals(const TStrings& other) const;   // same strings, case included

  // Reads the file's lines (GBK as stored) through the platform's file calls, so paths are
  // Windows-form; false when it cannot be read, the list unchanged.
  bool LoadFromFile(const std::string& path);
  // Writes Text through a temporary file and a replace, so a crash leaves the old or the new
  // file; false on failure.
  bool SaveToFile(const std::string& path) const;

  // Changes between BeginUpdate and the matching EndUpdate raise no OnChange; the last
  // EndUpdate raises one when anything changed.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

 protected:
  virtual void SetUpdateState(bool updating) {}
  // True when the list keeps its own order, so that strings cannot be put at an index.
  virtual bool KeepsSortOrder() const { return false; }
  int updateCount_ = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  TStringList() = default;
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;   // EStringListError on a sorted list
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  int Add(const std::string& s) override;   // sorted: at its place (Duplicates decides)
  // Sorted: at its place; with dupIgnore an existing equal string keeps its object and its
  // index is returned; dupError throws EStringListError.
  int AddObject(const std::string& s, void* object) override;
  void Insert(int index, const std::string& s) override;   // EStringListError on a sorted list
  void InsertObject(int index, const std::string& s, void* object) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int a, int b) override;
  int IndexOf(const std::string& s) const override;   // binary search when sorted

  // Kept in order of GBK bytes with ASCII case ignored (AnsiCompareText); strings that compare
  // equal keep the order they came in. Exchange, Move, Put and Insert throw on a sorted list.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  // Sorted lists (binary search): true and the index of the first equal string, else false and
  // where it would go. Unsorted lists are searched from the start (absent: false and Count).
  bool Find(const std::string& s, int& index) const;
  void Sort();
  // Sorts with a comparison of two indexes (negative, 0, positive), stable; nothing on a
  // sorted list. The comparison reads the list as it was before the sort.
  void CustomSort(const std::function<int(TStringList* list, int a, int b)>& compare);

  // OnChanging before and OnChange after each change; inside BeginUpdate/EndUpdate one
  // OnChanging before the first change and one OnChange at the last EndUpdate.
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void Changing();
  void Changed();
  void SetUpdateState(bool updating) override;
  bool KeepsSortOrder() const override { return sorted_; }

 private:
  struct Item {
    std::string text;
    void* object = nullptr;
  };
  void CheckIndex(int index) const;
  void CheckUnsorted() const;
  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  bool changedWhileUpdating_ = false;
};

// Compares GBK bytes with ASCII case ignored (letters as lower case; the second byte of a
// double-byte character is compared as it is): negative, 0 or positive.
int AnsiCompareText(const std::string& a, const std::string& b);
