#include "storage/xbase/xbase_field_map.h"

#include <cctype>
#include <string_view>

#include "runtime/error.h"
#include "runtime/picture.h"
#include "runtime/text.h"

namespace mirabo::xbase {
namespace {

constexpr int kInvalidFieldType = kInvalidFieldTypeDescriptor;

// At most three digits, at least one.
bool ReadNumber(std::string_view* s, int* value) {
  size_t n = 0;
  *value = 0;
  while (n < s->size() && n < 4 && std::isdigit(static_cast<unsigned char>((*s)[n]))) {
    *value = *value * 10 + ((*s)[n] - '0');
    ++n;
  }
  if (n == 0 || n > 3) return false;
  s->remove_prefix(n);
  return true;
}

// "N(w)", "N(w.d)" or "N(w,d)" without the letter.
bool ParseNumeric(std::string_view s, NewField* new_field) {
  if (s.empty() || s.front() != '(') return false;
  s.remove_prefix(1);
  int width = 0, decimals = 0;
  if (!ReadNumber(&s, &width)) return false;
  if (!s.empty() && (s.front() == '.' || s.front() == ',')) {
    s.remove_prefix(1);
    if (!ReadNumber(&s, &decimals)) return false;
  }
  if (s != ")") return false;
  if (width > 20 || (decimals != 0 && decimals > width - 2)) return false;
  new_field->type = 'N';
  new_field->width = width;
  new_field->decimals = decimals;
  return true;
}

bool ParseDescriptor(std::string_view desc, const FieldDecl& f, NewField* new_field) {
  if (desc.empty()) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(desc[0])));
  const std::string_view rest = desc.substr(1);
  if (letter == 'N') return ParseNumeric(rest, new_field);
  if (!rest.empty()) return false;
  switch (letter) {
    case 'C':
      *new_field = {new_field->name, 'C', f.size, 0};
      return true;
    case 'D':
      *new_field = {new_field->name, 'D', 8, 0};
      return true;
    case 'L':
      *new_field = {new_field->name, 'L', 1, 0};
      return true;
    case 'M':
      *new_field = {new_field->name, 'M', 10, 0};
      return true;
    default:
      return false;
  }
}

bool FromDeclaredType(const FieldDecl& f, NewField* new_field) {
  switch (f.type) {
    case FieldType::kByte:
      *new_field = {new_field->name, 'L', 1, 0};
      return true;
    case FieldType::kLong:
      *new_field = {new_field->name, 'M', 10, 0};
      return true;
    case FieldType::kReal:
      *new_field = {new_field->name, 'N', 9, 2};
      return true;
    case FieldType::kString:
      break;
    default:
      return false;
  }
  const Picture picture = Picture::Compile(f.picture);
  if (!f.picture.empty() && picture.kind() == PictureKind::kDate) {
    *new_field = {new_field->name, 'D', 8, 0};
    return true;
  }
  if (!f.picture.empty() && picture.kind() == PictureKind::kNumber) {
    if (picture.width() != f.size) return false;
    *new_field = {new_field->name, 'N', f.size, picture.decimals()};
    return true;
  }
  *new_field = {new_field->name, 'C', f.size, 0};
  return true;
}

}  // namespace

int BuildFieldMap(const FileDecl& decl, std::vector<MappedField>* map) {
  map->clear();
  for (size_t i = 0; i < decl.fields.size(); ++i) {
    const FieldDecl& f = decl.fields[i];
    std::string_view name = f.external_name.empty() ? f.label : f.external_name;
    if (const size_t colon = name.rfind(':'); colon != std::string_view::npos) {
      name.remove_prefix(colon + 1);
    }
    MappedField m;
    m.decl_field = static_cast<int>(i);
    const size_t eq = name.find('=');
    m.new_field.name = std::string(Clip(name.substr(0, eq)));
    const bool ok = eq == std::string_view::npos
                        ? FromDeclaredType(f, &m.new_field)
                        : ParseDescriptor(Clip(name.substr(eq + 1)), f, &m.new_field);
    if (!ok) return kInvalidFieldType;
    map->push_back(std::move(m));
  }
  return 0;
}

}  // namespace mirabo::xbase
