// File declarations: a pure description of a file (its driver, name, record
// layout and keys) from which the storage layer builds and reads the file.
//
// Declarations are constants built once at start-up and never freed.  Field
// and key labels carry the file's prefix ("FEA:PRODUCT", "FEA:FEATPROD").
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace mirabo {

struct FieldDecl {
  std::string label;  // "FEA:PRODUCT"
  FieldType type;
  int size;                   // stored width in bytes
  int offset;                 // from the start of the record
  std::string external_name;  // "ISSUE=N(4.0)", or empty
  std::string picture;        // the field's display picture ("@D12", "@n9.2"), or empty

  // The name a driver stores the field under: the external name up to its
  // "=", or else the label without prefix and colon.
  std::string ColumnName() const;
};

struct KeyDecl {
  std::string label;            // "FEA:FEATPROD"
  std::vector<int> components;  // field indexes, ascending each
  bool dup = false;             // duplicates allowed; without it the key is unique
  bool nocase = false;          // string components compare upper-cased
  std::string external_name;    // driver-specific, may be empty

  // The label without prefix and colon ("FEATPROD").
  std::string Name() const;
};

struct FileDecl {
  std::string label;                       // "FEATURES"
  std::string prefix;                      // "FEA"
  std::string driver;                      // "KARVINEX", "ASCII", ...
  std::string name;                        // constant external name; used when name_from is empty
  std::function<std::string()> name_from;  // name taken from a variable at each use
  bool create = false;                     // a missing file may be created
  bool thread = false;                     // one instance per procedure thread
  bool oem = false;
  int memos = 0;
  std::vector<FieldDecl> fields;
  std::vector<KeyDecl> keys;
  // String fields whose text a search looks into: a driver that can keeps a
  // substring index of them (DriverFile::FindText).  Not part of the
  // record: a file without the index holds the same records.
  std::vector<int> text_indexed;
  int record_size = 0;

  // The external name now in force.
  std::string ExternalName() const { return name_from ? name_from() : name; }
  // Index of the field with this label, with or without prefix; -1 if none.
  int FieldIndex(std::string_view wanted) const;
  // Index of the key with this label, with or without prefix; -1 if none.
  int KeyIndex(std::string_view wanted) const;
};

// Builds a FileDecl field by field, laying the record out back to back:
//
//   FileDecl d = FileDeclBuilder("SUPPLIER", "SUP", "KARVINEX")
//                    .Create().Thread()
//                    .String("SUPPLIER", 36).Short("REFERENCE")
//                    .Key("KEY_SUPPLIER", {"SUPPLIER"}, kDup)
//                    .Build();
class FileDeclBuilder {
 public:
  enum KeyFlags { kUnique = 0, kDup = 1, kNoCase = 2 };

  FileDeclBuilder(std::string label, std::string prefix, std::string driver);

  FileDeclBuilder& Name(std::string name);
  FileDeclBuilder& NameFrom(std::function<std::string()> from);
  FileDeclBuilder& Create();
  FileDeclBuilder& Thread();
  FileDeclBuilder& Memos(int n);

  FileDeclBuilder& String(std::string_view name, int width, std::string external = "");
  FileDeclBuilder& Short(std::string_view name, std::string external = "");
  FileDeclBuilder& Long(std::string_view name, std::string external = "");
  FileDeclBuilder& Byte(std::string_view name, std::string external = "");
  FileDeclBuilder& Real(std::string_view name, std::string external = "");
  FileDeclBuilder& Field(std::string_view name, FieldType type, int size, std::string external);
  // Gives the field declared last its display picture.
  FileDeclBuilder& Picture(std::string picture);

  // Components are field names without prefix, in order.
  FileDeclBuilder& Key(std::string_view name, std::vector<std::string_view> components, int flags,
                       std::string external = "");

  // A string field (without prefix) searched for substrings: see
  // FileDecl::text_indexed.
  FileDeclBuilder& TextIndex(std::string_view field);

  FileDecl Build() const { return decl_; }

 private:
  FileDecl decl_;
};

}  // namespace mirabo
