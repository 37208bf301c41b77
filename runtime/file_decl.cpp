#include "runtime/file_decl.h"

#include <cassert>

namespace mirabo {
namespace {

std::string_view WithoutPrefix(std::string_view label) {
  const size_t colon = label.rfind(':');
  return colon == std::string_view::npos ? label : label.substr(colon + 1);
}

}  // namespace

std::string FieldDecl::ColumnName() const {
  if (!external_name.empty()) {
    const size_t eq = external_name.find('=');
    return external_name.substr(0, eq);
  }
  return std::string(WithoutPrefix(label));
}

std::string KeyDecl::Name() const { return std::string(WithoutPrefix(label)); }

int FileDecl::FieldIndex(std::string_view wanted) const {
  const bool prefixed = wanted.find(':') != std::string_view::npos;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (prefixed ? fields[i].label == wanted : WithoutPrefix(fields[i].label) == wanted) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

int FileDecl::KeyIndex(std::string_view wanted) const {
  const bool prefixed = wanted.find(':') != std::string_view::npos;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (prefixed ? keys[i].label == wanted : keys[i].Name() == wanted) return static_cast<int>(i);
  }
  return -1;
}

FileDeclBuilder::FileDeclBuilder(std::string label, std::string prefix, std::string driver) {
  decl_.name = label;
  decl_.label = std::move(label);
  decl_.prefix = std::move(prefix);
  decl_.driver = std::move(driver);
}

FileDeclBuilder& FileDeclBuilder::Name(std::string name) {
  decl_.name = std::move(name);
  return *this;
}
FileDeclBuilder& FileDeclBuilder::NameFrom(std::function<std::string()> from) {
  decl_.name_from = std::move(from);
  return *this;
}
FileDeclBuilder& FileDeclBuilder::Create() {
  decl_.create = true;
  return *this;
}
FileDeclBuilder& FileDeclBuilder::Thread() {
  decl_.thread = true;
  return *this;
}
FileDeclBuilder& FileDeclBuilder::Memos(int n) {
  decl_.memos = n;
  return *this;
}

FileDeclBuilder& FileDeclBuilder::Field(std::string_view name, FieldType type, int size,
                                        std::string external) {
  FieldDecl f;
  f.label = decl_.prefix.empty() ? std::string(name) : decl_.prefix + ":" + std::string(name);
  f.type = type;
  f.size = size;
  f.offset = decl_.record_size;
  f.external_name = std::move(external);
  decl_.record_size += size;
  decl_.fields.push_back(std::move(f));
  return *this;
}

FileDeclBuilder& FileDeclBuilder::Picture(std::string picture) {
  assert(!decl_.fields.empty() && "a picture belongs to a declared field");
  decl_.fields.back().picture = std::move(picture);
  return *this;
}

FileDeclBuilder& FileDeclBuilder::String(std::string_view name, int width, std::string external) {
  return Field(name, FieldType::kString, width, std::move(external));
}
FileDeclBuilder& FileDeclBuilder::Short(std::string_view name, std::string external) {
  return Field(name, FieldType::kShort, 2, std::move(external));
}
FileDeclBuilder& FileDeclBuilder::Long(std::string_view name, std::string external) {
  return Field(name, FieldType::kLong, 4, std::move(external));
}
FileDeclBuilder& FileDeclBuilder::Byte(std::string_view name, std::string external) {
  return Field(name, FieldType::kByte, 1, std::move(external));
}
FileDeclBuilder& FileDeclBuilder::Real(std::string_view name, std::string external) {
  return Field(name, FieldType::kReal, 8, std::move(external));
}

FileDeclBuilder& FileDeclBuilder::Key(std::string_view name,
                                      std::vector<std::string_view> components, int flags,
                                      std::string external) {
  KeyDecl k;
  k.label = decl_.prefix.empty() ? std::string(name) : decl_.prefix + ":" + std::string(name);
  for (std::string_view c : components) {
    const int i = decl_.FieldIndex(c);
    assert(i >= 0 && "key component must name a declared field");
    k.components.push_back(i);
  }
  k.dup = (flags & kDup) != 0;
  k.nocase = (flags & kNoCase) != 0;
  k.external_name = std::move(external);
  decl_.keys.push_back(std::move(k));
  return *this;
}

FileDeclBuilder& FileDeclBuilder::TextIndex(std::string_view field) {
  const int i = decl_.FieldIndex(field);
  assert(i >= 0 && decl_.fields[i].type == FieldType::kString &&
         "a text index is on a declared string field");
  decl_.text_indexed.push_back(i);
  return *this;
}

}  // namespace mirabo
