#include "storage/keys/key_codec.h"

#include <cstring>

#include "runtime/text.h"

namespace mirabo::keys {

KeyPart EncodeKeyPart(const FieldDecl& field, bool nocase, std::string_view raw) {
  ValueRef ref{field.type, const_cast<char*>(raw.data()), field.size};
  switch (field.type) {
    case FieldType::kString: {
      std::string_view clipped = Clip(raw);
      return nocase ? ToUpper1252(clipped) : std::string(clipped);
    }
    case FieldType::kReal:
      return ref.GetNumber();
    default:
      return static_cast<int64_t>(ref.GetNumber());
  }
}

KeyValue KeyFromRecord(const FileDecl& decl, const KeyDecl& key, const char* record) {
  KeyValue out;
  out.reserve(key.components.size());
  for (int c : key.components) {
    const FieldDecl& f = decl.fields[c];
    out.push_back(EncodeKeyPart(f, key.nocase, std::string_view(record + f.offset, f.size)));
  }
  return out;
}

std::string EncodePosition(const FileDecl& decl, const KeyDecl* key, const char* record,
                           int64_t rowid) {
  std::string out;
  if (key) {
    for (int c : key->components) {
      const FieldDecl& f = decl.fields[c];
      out.append(record + f.offset, f.size);
    }
  }
  const uint32_t r = static_cast<uint32_t>(rowid);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((r >> (8 * i)) & 0xFF));
  return out;
}

bool DecodePosition(const FileDecl& decl, const KeyDecl* key, std::string_view position,
                    KeyValue* value, int64_t* rowid) {
  size_t need = 4;
  if (key) {
    for (int c : key->components) need += decl.fields[c].size;
  }
  if (position.size() != need) return false;
  value->clear();
  size_t at = 0;
  if (key) {
    for (int c : key->components) {
      const FieldDecl& f = decl.fields[c];
      std::string raw(position.substr(at, f.size));
      value->push_back(EncodeKeyPart(f, key->nocase, raw));
      at += f.size;
    }
  }
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i)
    r |= static_cast<uint32_t>(static_cast<unsigned char>(position[at + i])) << (8 * i);
  *rowid = r;
  return true;
}

int CompareKeyParts(const KeyPart& a, const KeyPart& b) {
  if (const auto* sa = std::get_if<std::string>(&a)) {
    const auto& sb = std::get<std::string>(b);
    const int c = std::memcmp(sa->data(), sb.data(), std::min(sa->size(), sb.size()));
    if (c != 0) return c < 0 ? -1 : 1;
    return sa->size() < sb.size() ? -1 : (sa->size() > sb.size() ? 1 : 0);
  }
  auto num = [](const KeyPart& p) {
    return std::holds_alternative<int64_t>(p) ? static_cast<double>(std::get<int64_t>(p))
                                              : std::get<double>(p);
  };
  const double x = num(a), y = num(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace mirabo::keys
