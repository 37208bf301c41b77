#include "app/reports/search_candidates.h"

#include <algorithm>
#include <string>
#include <utility>

#include "app/data/declarations.h"
#include "app/data/thread_block.h"
#include "app/reports/search_report.h"
#include "runtime/error.h"
#include "runtime/text.h"

namespace mirabo::app {
namespace {

// Past this many candidates a text is common enough that reading every
// feature in order costs little more, and the list no less memory.
constexpr size_t kCandidateLimit = 1'000'000;

// The key of `decl` ordered by `field` alone.
int KeyOn(const FileDecl& decl, int field) {
  for (size_t k = 0; k < decl.keys.size(); ++k) {
    if (decl.keys[k].components == std::vector<int>{field}) return static_cast<int>(k);
  }
  return -1;
}

// A key value as its key compares it: numbers by value, text without
// trailing blanks and, for a key that ignores case, upper-cased.
std::string Comparable(const ValueRef& v, bool nocase) {
  if (v.numeric()) return std::to_string(v.GetNumber());
  const std::string_view text = Clip(v.Bytes());
  return nocase ? ToUpper1252(text) : std::string(text);
}

struct Candidate {
  double issue;
  int64_t record;
};

class Gatherer {
 public:
  Gatherer(std::string_view needle, size_t limit)
      : needle_(needle), limit_(limit), features_(CurrentThread().Data(DataFile::kFeatures)) {}

  int AddProducts() {
    std::vector<int64_t> records;
    if (int rc = features_.FindText(FEA::PRODUCT, needle_, Room(), &records)) return rc;
    for (int64_t r : records) {
      if (int rc = features_.GetByRecord(r)) return rc;
      Add(r);
    }
    return kNoError;
  }

  // The features whose `relation` names a lookup record that holds the text.
  int AddThrough(const Relation& relation) {
    File& lookup = CurrentThread().Data(relation.lookup);
    std::vector<int64_t> names;
    if (int rc = lookup.FindText(relation.name_field, needle_, Room(), &names)) return rc;
    const int key = KeyOn(features_.decl(), relation.features_field);
    if (key < 0) return kUnsupportedFunction;
    const bool nocase = features_.decl().keys[key].nocase;
    const ValueRef field = features_.Field(relation.features_field);
    for (int64_t n : names) {
      if (int rc = lookup.GetByRecord(n)) return rc;
      if (!ContainsUpper1252(lookup.Field(relation.name_field).Bytes(), needle_)) continue;
      field.Assign(lookup.Field(relation.lookup_field));
      const std::string value = Comparable(field, nocase);
      int rc = features_.SetKeyValue(key);
      while (rc == kNoError && (rc = features_.Next()) == kNoError &&
             Comparable(field, nocase) == value) {
        int64_t record = 0;
        if ((rc = features_.RecordNumber(&record)) == kNoError) rc = Add(record);
      }
      if (rc != kNoError && rc != kRecordNotAvailable) return rc;
    }
    return kNoError;
  }

  // The candidates in the search's order, each once.
  std::vector<int64_t> Ordered() {
    std::sort(found_.begin(), found_.end(), [](const Candidate& a, const Candidate& b) {
      return a.issue != b.issue ? a.issue < b.issue : a.record < b.record;
    });
    std::vector<int64_t> out;
    out.reserve(found_.size());
    for (const Candidate& c : found_) {
      if (out.empty() || out.back() != c.record) out.push_back(c.record);
    }
    return out;
  }

 private:
  size_t Room() const { return limit_ - std::min(limit_, found_.size()); }

  // The current FEATURES record.
  int Add(int64_t record) {
    if (found_.size() >= limit_) return kUnsupportedFunction;
    found_.push_back({features_.Field(FEA::ISSUE).GetNumber(), record});
    return kNoError;
  }

  std::string_view needle_;
  size_t limit_;
  File& features_;
  std::vector<Candidate> found_;
};

}  // namespace

int SearchCandidates(std::string_view upper_needle, const SearchFields& fields,
                     std::vector<int64_t>* records) {
  records->clear();
  Gatherer gatherer(upper_needle, kCandidateLimit);
  const std::pair<bool, const Relation*> sources[] = {
      {fields.supplier, RelationTo(DataFile::kSupplier)},
      {fields.review, RelationTo(DataFile::kReview)},
      {fields.category, RelationTo(DataFile::kCategory)},
  };
  if (fields.product) {
    if (int rc = gatherer.AddProducts()) return rc;
  }
  for (const auto& [chosen, relation] : sources) {
    if (!chosen) continue;
    if (int rc = gatherer.AddThrough(*relation)) return rc;
  }
  *records = gatherer.Ordered();
  return kNoError;
}

}  // namespace mirabo::app
