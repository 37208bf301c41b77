#include "runtime/view.h"

#include <cstring>

#include "runtime/error.h"
#include "runtime/text.h"

namespace mirabo {

View::View(File& primary) : primary_(&primary) {}

void View::Join(File& lookup, int lookup_key, std::vector<JoinField> fields) {
  joins_.push_back({&lookup, lookup_key, std::move(fields)});
}

void View::KeepLookupRows(bool on) {
  keep_lookups_ = on;
  if (!on) {
    for (Join_& j : joins_) j.kept.clear();
  }
}

int View::SetOrder(int key) {
  if (key != kRecordOrder && (key < 0 || key >= static_cast<int>(primary_->decl().keys.size()))) {
    return SetError(kInvalidKeyFile);
  }
  key_ = key;
  positioned_ = true;
  pending_start_ = true;
  FindRange();
  return SetError(kNoError);
}

// The start of the order, resolved when reading begins, so that a filter set
// after the order still decides where a range starts.
int View::StartPosition() {
  pending_start_ = false;
  if (range_) {
    saved_.assign(primary_->record_bytes());
    primary_->Field(primary_->decl().keys[key_].components[0]).Assign(*range_);
    const int rc = primary_->SetKeyValue(key_);
    std::memcpy(primary_->record(), saved_.data(), saved_.size());
    return rc;
  }
  return primary_->SetKeyStart(key_);
}

int View::SetOrderValue(int key) {
  key_ = key;
  positioned_ = true;
  pending_start_ = false;
  FindRange();
  return primary_->SetKeyValue(key);
}

int View::SetFilter(std::string_view expression, const Bindings& bindings) {
  filter_error_.clear();
  const bool ok = filter_.Compile(expression, bindings, &filter_error_);
  FindRange();
  return SetError(ok ? kNoError : kInvalidDataFile);
}

void View::FindRange() {
  range_.reset();
  if (key_ == kRecordOrder || filter_.empty()) return;
  const FileDecl& decl = primary_->decl();
  const FieldDecl& f = decl.fields[decl.keys[key_].components[0]];
  std::optional<ValueRef> other = filter_.EqualityOn(primary_->record() + f.offset);
  if (!other) return;
  // Only where the filter's comparison and the key's order agree.
  if (IsNumeric(f.type) != other->numeric()) return;
  range_ = other;
}

int View::Open() {
  open_ = true;
  if (!positioned_) return SetOrder(key_);
  return SetError(kNoError);
}

void View::Close() {
  open_ = false;
  positioned_ = false;
}

int View::CompareWithRange() const {
  const FileDecl& decl = primary_->decl();
  const KeyDecl& key = decl.keys[key_];
  const FieldDecl& f = decl.fields[key.components[0]];
  const ValueRef field{f.type, const_cast<char*>(primary_->record_bytes().data()) + f.offset,
                       f.size};
  if (field.numeric()) {
    const double a = field.GetNumber(), b = range_->GetNumber();
    return a < b ? -1 : (a > b ? 1 : 0);
  }
  if (key.nocase) return CompareFixed(ToUpper1252(field.Bytes()), ToUpper1252(range_->Bytes()));
  return CompareFixed(field.Bytes(), range_->Bytes());
}

int View::Read(bool forward) {
  if (!open_) return SetError(kFileNotOpen);
  if (!positioned_) {
    if (int rc = SetOrder(key_)) return rc;
  }
  if (pending_start_) {
    if (int rc = StartPosition()) return SetError(rc);
  }
  saved_.assign(primary_->record_bytes());
  bool repositioned = false;
  for (;;) {
    const int rc = forward ? primary_->Next() : primary_->Previous();
    if (rc != kNoError) {
      std::memcpy(primary_->record(), saved_.data(), saved_.size());
      return rc;
    }
    if (range_) {
      const int c = CompareWithRange();
      if (c != 0) {
        const bool past = forward ? c > 0 : c < 0;
        if (past || repositioned) break;
        // Started ahead of the range: jump to it.
        repositioned = true;
        primary_->Field(primary_->decl().keys[key_].components[0]).Assign(*range_);
        if (int jump = primary_->SetKeyValue(key_)) return jump;
        continue;
      }
    }
    if (filter_.Evaluate()) {
      ReadJoins();
      return SetError(kNoError);
    }
  }
  std::memcpy(primary_->record(), saved_.data(), saved_.size());
  return SetError(kRecordNotAvailable);
}

void View::ReadJoins() {
  // A bound on the rows kept per lookup: the lookup tables are small, but a
  // view joined to a large one must not grow without end.
  constexpr size_t kMaxKept = 1 << 16;
  std::string values;
  for (Join_& j : joins_) {
    values.clear();
    for (const JoinField& jf : j.fields) {
      const ValueRef from = primary_->Field(jf.primary_field);
      j.file->Field(jf.lookup_field).Assign(from);
      if (keep_lookups_) values.append(from.Bytes());
    }
    if (keep_lookups_) {
      if (auto it = j.kept.find(values); it != j.kept.end()) {
        if (it->second.empty()) {
          j.file->ClearRecord();
        } else {
          std::memcpy(j.file->record(), it->second.data(), it->second.size());
        }
        continue;
      }
    }
    const int rc = j.file->GetByKey(j.key);
    if (rc != kNoError) j.file->ClearRecord();
    if (keep_lookups_ && (rc == kNoError || rc == kRecordNotFound) && j.kept.size() < kMaxKept) {
      j.kept.emplace(values, rc == kNoError ? std::string(j.file->record_bytes()) : std::string());
    }
  }
}

std::string View::Position() {
  std::string pos;
  if (primary_->Position(key_, &pos) != kNoError) return {};
  if (pos.size() > kMaxPositionLength) pos.resize(kMaxPositionLength);
  return pos;
}

int View::Reset(std::string_view position) {
  positioned_ = true;
  pending_start_ = false;
  return primary_->ResetToPosition(key_, position);
}

int View::ResetPast(std::string_view position) {
  positioned_ = true;
  pending_start_ = false;
  return primary_->ResetPastPosition(key_, position);
}

int View::GetRecord(int64_t record) {
  const int rc = primary_->GetByRecord(record);
  if (rc != kNoError) return rc;
  ReadJoins();
  return SetError(kNoError);
}

int View::Reget(std::string_view position) {
  const int rc = primary_->GetByPosition(key_, position);
  if (rc != kNoError) return rc;
  ReadJoins();
  return SetError(kNoError);
}

}  // namespace mirabo
