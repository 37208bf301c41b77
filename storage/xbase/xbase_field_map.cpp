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
bool ParseNumeric(std::string_view s, FieldSpec* spec) {
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
  spec->type = 'N';
  spec->width = width;
  spec->decimals = decimals;
  return true;
}

bool ParseDescriptor(std::string_view desc, const FieldDecl& f, FieldSpec* spec) {
  if (desc.empty()) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(desc[0])));
  const std::string_view rest = desc.substr(1);
  if (letter == 'N') return ParseNumeric(rest, spec);
  if (!rest.empty()) return false;
  switch (letter) {
    case 'C':
      *spec = {spec->name, 'C', f.size, 0};
      return true;
    case 'D':
      *spec = {spec->name, 'D', 8, 0};
      return true;
    case 'L':
      *spec = {spec->name, 'L', 1, 0};
      return true;
    case 'M':
      *spec = {spec->name, 'M', 10, 0};
      return true;
    default:
      return false;
  }
}

bool FromDeclaredType(const FieldDecl& f, FieldSpec* spec) {
  switch (f.type) {
    case FieldType::kByte:
      *spec = {spec->name, 'L', 1, 0};
      return true;
    case FieldType::kLong:
      *spec = {spec->name, 'M', 10, 0};
      return true;
    case FieldType::kReal:
      *spec = {spec->name, 'N', 9, 2};
      return true;
    case FieldType::kString:
      break;
    default:
      return false;
  }
  const Picture picture = Picture::Compile(f.picture);
  if (!f.picture.empty() && picture.kind() == PictureKind::kDate) {
    *spec = {spec->name, 'D', 8, 0};
    return true;
  }
  if (!f.picture.empty() && picture.kind() == PictureKind::kNumber) {
    if (picture.width() != f.size) return false;
    *spec = {spec->name, 'N', f.size, picture.decimals()};
    return true;
  }
  *spec = {spec->name, 'C', f.size, 0};
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
    m.spec.name = std::string(Clip(name.substr(0, eq)));
    const bool ok = eq == std::string_view::npos
                        ? FromDeclaredType(f, &m.spec)
                        : ParseDescriptor(Clip(name.substr(eq + 1)), f, &m.spec);
    if (!ok) return kInvalidFieldType;
    map->push_back(std::move(m));
  }
  return 0;
}

}  // namespace mirabo::xbase
