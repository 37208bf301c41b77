#include "app/create_file/file_copy.h"

#include <algorithm>

#include "app/data/standard_message.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "storage/xbase/dbf_error.h"

namespace mirabo::app {
namespace {

using S = CopySource;

// The issue number of a text copy.  Picture "n4" holds three digits and a
// thousands separator, so issues 1000 to 9999 (which the xBase copy's
// N(4,0) holds) would come out as "####"; blank-fill takes the separator
// away and shows four digits, with the same text for every number "n4"
// does show.
constexpr char kFeaturesIssuePicture[] = "n_4";
constexpr char kIssuesNumberPicture[] = "n3";

const std::array<CopyPlan, kDataFileCount>& Plans() {
  static const std::array<CopyPlan, kDataFileCount> plans = {{
      {"Features",
       DataFile::kFeatures,
       FEA::FEATISS,
       {{S::kField, FEA::PRODUCT},
        {S::kLookup, FEA::REVIEW},
        {S::kField, FEA::ISSUE, kFeaturesIssuePicture},
        {S::kLookup, FEA::SUPPLIER},
        {S::kField, FEA::HS},
        {S::kLookup, FEA::CATEGORY},
        {S::kField, FEA::V},
        {S::kField, FEA::COMMENTS}}},
      {"Issues",
       DataFile::kIssues,
       ISS::ISSUE,
       {{S::kField, ISS::ISSUE_NUMB, kIssuesNumberPicture},
        {S::kField, ISS::ISSUE_NAME},
        {S::kField, ISS::COMMENTS}}},
      {"Category", DataFile::kCategory, CAT::KEY_CATEGORY, {{S::kField, CAT::CATEGORY}}},
      {"Review", DataFile::kReview, REV::KEY_REVIEW, {{S::kField, REV::REVIEW}}},
      {"Supplier", DataFile::kSupplier, SUP::KEY_SUPPLIER, {{S::kField, SUP::SUPPLIER}}},
  }};
  return plans;
}

}  // namespace

const CopyPlan* FindCopyPlan(std::string_view choice) {
  for (const CopyPlan& p : Plans()) {
    if (choice == p.choice) return &p;
  }
  return nullptr;
}

std::string CopyFailureText(const CopyTally& o) {
  std::string text;
  if (!o.read_failure.empty()) text += "\n" + o.read_failure + ".";
  if (!o.write_failure.empty()) text += "\n" + o.write_failure + ".";
  if (o.not_written > 0) {
    text += "\n" + std::to_string(o.not_written) + " of " + std::to_string(o.copied) +
            " records could not be written, the first being record " +
            std::to_string(o.first_not_written) + " (" + o.first_label + "): " + o.first_reason +
            ".";
  }
  if (!o.finish_failure.empty()) text += "\n" + o.finish_failure + ".";
  if (o.failed()) text += "\nNo copy was written; a file that was there is unchanged.";
  return text;
}

ui::MessageRequest CopyEndMessage(const CopyTally& o) {
  ui::MessageRequest m;
  m.buttons = m.default_button = ui::kButtonOk;
  if (o.complete()) {
    m.text = "File Generation Complete";
    return m;
  }
  m.icon = ui::Icon::kExclamation;
  m.text = "File Generation Incomplete\n" + CopyFailureText(o);
  return m;
}

Outcome OutcomeOf(const CopyTally& o) {
  const int64_t written = o.copied - o.not_written;
  if (o.complete()) return Outcome::Complete(written);
  std::string text = CopyFailureText(o);
  text.erase(0, text.find_first_not_of('\n'));
  if (o.failed()) return Outcome::Failed(std::move(text));
  return Outcome::Incomplete(written, o.not_written, std::move(text));
}

const std::string* FileCopy::Lookup::Name(double reference) {
  const int ref = static_cast<int>(reference);
  const int slot = ref + kReferences / 2;
  const bool short_ref = slot >= 0 && slot < kReferences;
  if (short_ref && known_[slot]) return known_[slot];
  file_->Field(reference_).SetNumber(ref);
  const int rc = file_->GetByKey(key_);
  // A row found, or found missing, stands for the whole copy.
  if (rc != kNoError && rc != kRecordNotFound) return nullptr;
  std::string name = rc == kNoError ? std::string(file_->Field(name_).Bytes()) : none_;
  if (!short_ref) return &(other_ = std::move(name));
  known_[slot] = &names_.emplace_back(std::move(name));
  return known_[slot];
}

FileCopy::FileCopy(const CopyPlan& plan, ThreadBlock& block, File& target, int64_t total)
    : plan_(plan), source_(block.Data(plan.source)), target_(target) {
  tally_.total = total;
  for (const CopySource& s : plan_.fields) {
    pictures_.push_back(s.picture ? Picture::Compile(s.picture) : Picture());
    formatted_.emplace_back();
    if (s.kind == CopySource::kLookup) {
      const Relation& r = *RelationOf(s.field);  // the plans look up only related fields
      lookups_.emplace_back(std::make_unique<Lookup>(block.Data(r.lookup), r.lookup_key,
                                                     r.lookup_field, r.name_field));
    } else {
      lookups_.emplace_back();
    }
  }
}

void FileCopy::Begin() {
  source_.ClearRecord();
  const int rc = source_.SetKeyStart(plan_.key);
  if (rc != kNoError) {
    ReadFailed();
    return;
  }
  Read();
}

void FileCopy::ReadFailed() {
  tally_.read_failure = "Reading " + DataFileDecl(plan_.source).label + " failed after record " +
                        std::to_string(tally_.copied) + " of " + std::to_string(tally_.total) +
                        ": " + ErrorDescription();
  more_ = false;
}

void FileCopy::Read() {
  const int rc = source_.Next();
  more_ = rc == kNoError;
  // The end of the order is a read that finds no record; anything else
  // stops the copy short.
  if (rc != kNoError && rc != kRecordNotAvailable) ReadFailed();
}

std::string FileCopy::MisfitReason(int field) const {
  return target_.decl().fields[field].ColumnName() + " " +
         NumberText(source_.Field(plan_.fields[field].field).GetNumber()) +
         " does not fit its column";
}

bool FileCopy::Fill(std::string* reason) {
  bool fits = true;
  for (size_t i = 0; i < plan_.fields.size(); ++i) {
    const CopySource& s = plan_.fields[i];
    const ValueRef to = target_.Field(static_cast<int>(i));
    if (lookups_[i]) {
      const std::string* name = lookups_[i]->Name(source_.Field(s.field).GetNumber());
      if (!name) {
        // A blank name in place of one that could not be read would be
        // wrong data in a copy that looks whole.
        tally_.read_failure = "Reading " + DataFileDecl(RelationOf(s.field)->lookup).label +
                              " failed at record " + std::to_string(tally_.copied + 1) + ": " +
                              ErrorDescription();
        return true;
      }
      to.SetString(*name);
      continue;
    }
    const ValueRef from = source_.Field(s.field);
    if (from.numeric() && !to.numeric() && pictures_[i].valid()) {
      // The order repeats a number for many records (FEATURES by issue):
      // its text is made once.
      Formatted& f = formatted_[i];
      const double value = from.GetNumber();
      if (!f.valid || f.value != value) f = {true, value, pictures_[i].Format(value)};
      if (fits && f.text.find('#') != std::string::npos) {
        fits = false;
        *reason = MisfitReason(static_cast<int>(i));
      }
      to.SetString(f.text);
    } else {
      to.Assign(from);
    }
  }
  return fits;
}

void FileCopy::NotWritten(std::string reason) {
  if (tally_.not_written++ == 0) {
    tally_.first_not_written = tally_.copied + 1;
    const ValueRef id = source_.Field(plan_.fields.front().field);
    tally_.first_label = id.numeric() ? NumberText(id.GetNumber()) : std::string(Clip(id.Bytes()));
    tally_.first_reason = std::move(reason);
  }
}

void FileCopy::Step() {
  std::string reason;
  const bool fits = Fill(&reason);
  if (!tally_.read_failure.empty()) {
    more_ = false;
    return;
  }
  if (!fits) {
    NotWritten(std::move(reason));
  } else if (const int rc = target_.Append(); rc != kNoError) {
    const ErrorState& e = CurrentError();
    // The xBase table refuses a number too wide for its N column as bad data.
    const bool misfit = rc == kFileSystemError && e.fs_number == xbase::kErrBadData;
    int number = -1;
    for (size_t i = 0; misfit && i < plan_.fields.size() && number < 0; ++i) {
      if (target_.Field(static_cast<int>(i)).numeric()) number = static_cast<int>(i);
    }
    if (number < 0) {
      tally_.write_failure =
          "Writing record " + std::to_string(tally_.copied + 1) + " failed: " + ErrorDescription();
      more_ = false;
      return;
    }
    NotWritten(MisfitReason(number));
  }
  ++tally_.copied;
  Read();
}

void FileCopy::Finish() {
  if (target_.Flush() != kNoError) {
    tally_.finish_failure = "Writing the file to disk failed: " + FailureReason();
  }
  if (target_.Close() != kNoError && tally_.finish_failure.empty()) {
    tally_.finish_failure = "Closing the file failed: " + FailureReason();
  }
}

}  // namespace mirabo::app
