#include "app/reports/search_candidates.h"

#include <algorithm>
#include <string>
#include <utility>

#include "app/data/declarations.h"
#include "app/data/thread_block.h"
#include "app/reports/search_report.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "ui/scheduler.h"

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

// The search's order: by issue, then by record number.
bool Before(const Candidate& a, const Candidate& b) {
  return a.issue != b.issue ? a.issue < b.issue : a.record < b.record;
}

// Gathers the candidates a step at a time: the products the index names,
// then each chosen lookup's names and the features on each name's key.  A
// step ends after its budget of record reads, where the next one resumes:
// within the list of products or names, or inside one name's range.
class Gatherer {
 public:
  Gatherer(std::string_view needle, const SearchFields& fields, size_t list_part,
           size_t order_run)
      : needle_(needle),
        features_(CurrentThread().Data(DataFile::kFeatures)),
        list_part_(list_part),
        run_(order_run),
        width_(order_run) {
    if (fields.product) sources_.push_back(nullptr);
    const std::pair<bool, DataFile> lookups[] = {{fields.supplier, DataFile::kSupplier},
                                                 {fields.review, DataFile::kReview},
                                                 {fields.category, DataFile::kCategory}};
    for (const auto& [chosen, file] : lookups) {
      if (chosen) sources_.push_back(RelationTo(file));
    }
  }

  // Up to `reads` more record reads: kNoError with *done once every source
  // is gathered, else as SearchCandidates.
  int Step(size_t reads, bool* done) {
    budget_ = reads;
    while (source_ < sources_.size()) {
      const Relation* relation = sources_[source_];
      if (!listed_) {
        // A common text names hundreds of thousands of records: the list
        // comes a part a step.
        const int rc = ListPart(relation);
        if (rc == kMore) {
          *done = false;
          return kNoError;
        }
        if (rc != kNoError) return rc;
        listed_ = true;
        next_ = 0;
      }
      const int rc = relation ? GatherThrough(*relation) : GatherProducts();
      if (rc == kMore) {
        *done = false;
        return kNoError;
      }
      if (rc != kNoError) return rc;
      ++source_;
      listed_ = false;
      listed_records_.clear();
    }
    *done = true;
    return kNoError;
  }

  // One step of putting the candidates in the search's order: a run of
  // them sorted, or two neighbouring sorted runs merged into one.  False
  // until they are in order.  Sorting half a million candidates at once
  // held the window for a tenth of a second; no step here takes more than a
  // few milliseconds.
  bool OrderStep() {
    if (sorted_ < found_.size()) {
      const size_t end = std::min(sorted_ + run_, found_.size());
      std::sort(found_.begin() + sorted_, found_.begin() + end, Before);
      sorted_ = end;
      return false;
    }
    for (; width_ < found_.size(); width_ *= 2, merge_at_ = 0) {
      if (merge_at_ + width_ < found_.size()) {
        const auto first = found_.begin() + merge_at_;
        const size_t end = std::min(merge_at_ + 2 * width_, found_.size());
        std::inplace_merge(first, first + width_, found_.begin() + end, Before);
        merge_at_ = end;
        return false;
      }
    }
    return true;
  }

  // The candidates, once in order, each once.
  std::vector<int64_t> Ordered() const {
    std::vector<int64_t> out;
    out.reserve(found_.size());
    for (const Candidate& c : found_) {
      if (out.empty() || out.back() != c.record) out.push_back(c.record);
    }
    return out;
  }

 private:
  // Step's own code for "the budget ran out here".
  static constexpr int kMore = -1;

  // The next part of the source's list from its index (product records, or
  // lookup names): kMore while there is more.  A list longer than the room
  // left for candidates is a text a scan answers as fast.
  int ListPart(const Relation* relation) {
    File& file = relation ? CurrentThread().Data(relation->lookup) : features_;
    const int field = relation ? relation->name_field : FEA::PRODUCT;
    const int64_t after = listed_records_.empty() ? 0 : listed_records_.back();
    std::vector<int64_t> part;
    if (int rc = file.FindText(field, needle_, after, list_part_, &part)) return rc;
    listed_records_.insert(listed_records_.end(), part.begin(), part.end());
    if (listed_records_.size() > Room()) return kUnsupportedFunction;
    return part.size() == list_part_ ? kMore : kNoError;
  }

  bool Spend() {
    if (budget_ == 0) return false;
    --budget_;
    return true;
  }

  int GatherProducts() {
    for (; next_ < listed_records_.size(); ++next_) {
      if (!Spend()) return kMore;
      if (int rc = features_.GetByRecord(listed_records_[next_])) return rc;
      if (int rc = Add(listed_records_[next_])) return rc;
    }
    return kNoError;
  }

  // The features whose `relation` names a lookup record that holds the text.
  int GatherThrough(const Relation& relation) {
    const int key = KeyOn(features_.decl(), relation.features_field);
    if (key < 0) return kUnsupportedFunction;
    const bool nocase = features_.decl().keys[key].nocase;
    const ValueRef field = features_.Field(relation.features_field);
    File& lookup = CurrentThread().Data(relation.lookup);
    for (;;) {
      if (!in_range_) {
        if (next_ == listed_records_.size()) return kNoError;
        if (!Spend()) return kMore;
        if (int rc = lookup.GetByRecord(listed_records_[next_++])) return rc;
        if (!ContainsUpper1252(lookup.Field(relation.name_field).Bytes(), needle_)) continue;
        field.Assign(lookup.Field(relation.lookup_field));
        range_value_ = Comparable(field, nocase);
        if (int rc = features_.SetKeyValue(key)) return rc;
        in_range_ = true;
      }
      // The range on the name's key, resumed where the last step left it.
      int rc = kNoError;
      for (;;) {
        if (!Spend()) return kMore;
        if ((rc = features_.Next()) != kNoError || Comparable(field, nocase) != range_value_) break;
        int64_t record = 0;
        if ((rc = features_.RecordNumber(&record)) == kNoError) rc = Add(record);
        if (rc != kNoError) return rc;
      }
      if (rc != kNoError && rc != kRecordNotAvailable) return rc;
      in_range_ = false;
    }
  }

  size_t Room() const { return kCandidateLimit - std::min(kCandidateLimit, found_.size()); }

  // The current FEATURES record.
  int Add(int64_t record) {
    if (found_.size() >= kCandidateLimit) return kUnsupportedFunction;
    found_.push_back({features_.Field(FEA::ISSUE).GetNumber(), record});
    return kNoError;
  }

  std::string_view needle_;
  File& features_;
  const size_t list_part_;  // record numbers the index gives a step
  std::vector<const Relation*> sources_;  // null: the products themselves
  size_t source_ = 0;
  bool listed_ = false;
  std::vector<int64_t> listed_records_;
  size_t next_ = 0;
  bool in_range_ = false;
  std::string range_value_;
  size_t budget_ = 0;
  std::vector<Candidate> found_;
  // Ordering: runs of run_ sorted up to sorted_, then merged width_ by width_.
  const size_t run_;
  size_t sorted_ = 0;
  size_t width_;
  size_t merge_at_ = 0;
};

constexpr size_t kStepReads = 4096;
constexpr size_t kListPart = 16384;
constexpr size_t kOrderRun = 32768;

}  // namespace

ui::Task<int> GatherSearchCandidates(std::string upper_needle, SearchFields fields,
                                     std::vector<int64_t>* records) {
  records->clear();
  Gatherer gatherer(upper_needle, fields, kListPart, kOrderRun);
  for (bool done = false; !done;) {
    if (int rc = gatherer.Step(kStepReads, &done)) co_return rc;
    if (!done) co_await ui::GiveWay();
  }
  while (!gatherer.OrderStep()) co_await ui::GiveWay();
  *records = gatherer.Ordered();
  co_return kNoError;
}

int SearchCandidates(std::string_view upper_needle, const SearchFields& fields,
                     std::vector<int64_t>* records, size_t step_reads, size_t order_run) {
  records->clear();
  Gatherer gatherer(upper_needle, fields, std::max<size_t>(step_reads, 1),
                    std::max<size_t>(order_run, 1));
  for (bool done = false; !done;) {
    if (int rc = gatherer.Step(step_reads, &done)) return rc;
  }
  while (!gatherer.OrderStep()) {
  }
  *records = gatherer.Ordered();
  return kNoError;
}

}  // namespace mirabo::app
