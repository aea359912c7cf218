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
  int AddObject(const std::string& s, void* object);
  void InsertObject(int index, const std::string& s, void* object);
  void AddStrings(const TStrings& other);
  void Assign(const TStrings& other);   // strings and objects
  virtual void Exchange(int a, int b);
  virtual void Move(int from, int to);
  // The first index of the string (ASCII case ignored), -1 when absent.
  virtual int IndexOf(const std::string& s) const;
  int IndexOfObject(const void* object) const;
  // name=value lines.
  int IndexOfName(const std::string& name) const;
  std::string Names(int index) const;
  std::string Values(const std::string& name) const;
  void SetValue(const std::string& name, const std::string& value);   // empty value deletes
  // Lines joined with CR LF (each followed by one); setting splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(const std::string& text);
  // Comma-separated, strings with blanks, commas or quotes quoted with "".
  std::string CommaText() const;
  void SetCommaText(const std::string& text);
  bool Equals(const TStrings& other) const;

  // Reads the file's lines (GBK as stored); false when it cannot be read, the list unchanged.
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
  void Insert(int index, const std::string& s) override;   // EStringListError on a sorted list
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int a, int b) override;
  int IndexOf(const std::string& s) const override;   // binary search when sorted

  // Kept in order of GBK bytes with ASCII case ignored.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates d) { duplicates_ = d; }
  // Sorted lists: true and the index when found, else false and where it would go.
  bool Find(const std::string& s, int& index) const;
  void Sort();
  // Sorts with a comparison of two indexes (negative, 0, positive).
  void CustomSort(const std::function<int(TStringList* list, int a, int b)>& compare);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void Changing();
  void Changed();
  void SetUpdateState(bool updating) override;

 private:
  struct Item {
    std::string text;
    void* object = nullptr;
  };
  void CheckIndex(int index) const;
  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
  bool changedWhileUpdating_ = false;
};

// Compares GBK bytes with ASCII case ignored: negative, 0 or positive.
int AnsiCompareText(const std::string& a, const std::string& b);
