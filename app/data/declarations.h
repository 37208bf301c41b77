// The data model: the five data files of the features index, the export
// targets that Create File writes and the HTML page that Publish writes.
//
// Declarations are built once, on first use, and live for the whole program.
#pragma once

#include <array>

#include "runtime/file_decl.h"

namespace mirabo::app {

enum class DataFile { kFeatures, kSupplier, kReview, kCategory, kIssues };
constexpr int kDataFileCount = 5;
constexpr std::array<DataFile, kDataFileCount> kAllDataFiles = {
    DataFile::kFeatures, DataFile::kSupplier, DataFile::kReview, DataFile::kCategory,
    DataFile::kIssues};

const FileDecl& DataFileDecl(DataFile file);

// Field and key numbers of the data files, in declaration order.
namespace FEA {
enum Field { PRODUCT, REVIEW, ISSUE, SUPPLIER, HS, CATEGORY, V, COMMENTS };
enum Key { FEATPROD, FEATSUPP, FEATREV, FEATCAT, FEATISS };
}  // namespace FEA
namespace SUP {
enum Field { SUPPLIER, REFERENCE };
enum Key { KEY_SUPPLIER, SUPPLIER_REF };
}  // namespace SUP
namespace REV {
enum Field { REVIEW, REFERENCE };
enum Key { KEY_REVIEW, REVIEW_REF };
}  // namespace REV
namespace CAT {
enum Field { CATEGORY, REFERENCE };
enum Key { KEY_CATEGORY, CATEGORY_REF };
}  // namespace CAT
namespace ISS {
enum Field { ISSUE_NUMB, ISSUE_NAME, COMMENTS };
enum Key { ISSUE };
}  // namespace ISS

// FEATURES points at the lookup tables by number; each relation is found
// through the lookup side's unique reference key (ISSUES through its issue
// key).  What a lookup row is known by is its name field.
struct Relation {
  int features_field;  // FEA:SUPPLIER ...
  DataFile lookup;
  int lookup_key;
  int lookup_field;  // the reference (the issue number)
  int name_field;    // SUP:SUPPLIER, REV:REVIEW, CAT:CATEGORY, ISS:ISSUE_NAME
};

constexpr std::array<Relation, 4> kRelations = {{
    {FEA::SUPPLIER, DataFile::kSupplier, SUP::SUPPLIER_REF, SUP::REFERENCE, SUP::SUPPLIER},
    {FEA::REVIEW, DataFile::kReview, REV::REVIEW_REF, REV::REFERENCE, REV::REVIEW},
    {FEA::CATEGORY, DataFile::kCategory, CAT::CATEGORY_REF, CAT::REFERENCE, CAT::CATEGORY},
    {FEA::ISSUE, DataFile::kIssues, ISS::ISSUE, ISS::ISSUE_NUMB, ISS::ISSUE_NAME},
}};

// The relation through FEATURES field `features_field`, or of lookup table
// `lookup`; null for a field or table that has none.
const Relation* RelationOf(int features_field);
const Relation* RelationTo(DataFile lookup);

// Create File's targets for each source table: the xBase copy (prefixes ISS1,
// SUP1, ...) and the comma-delimited text copy (ISS2, SUP2, ...), both named
// by CreateFileName.
const FileDecl& XbaseTargetDecl(DataFile source);
const FileDecl& TextTargetDecl(DataFile source);

// The HTML page: one STRING(255) field LINE, named by HTMLName.
const FileDecl& HtmlFileDecl();
// The same for a page written in UTF-8: a line of 255 characters takes up to
// three bytes a character.
const FileDecl& Utf8HtmlFileDecl();

}  // namespace mirabo::app
