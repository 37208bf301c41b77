// How key values are held in the table stores and in positions: shared by
// the native driver (SQLite) and the server driver (PostgreSQL), so that both
// order keys alike and a position taken from one names the same record in
// the other.
//
// The index of a key orders its components and then the record number.
// Numeric components are stored as they are.  A string component is indexed
// through a companion column holding its Windows-1252 bytes without trailing
// blanks, upper-cased for a NOCASE key; SQLite's blobs and PostgreSQL's bytea
// both compare byte by byte (then the shorter first), which is the runtime's
// order for every text the loader accepts (it refuses control characters, the
// only bytes that sort below a blank).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/file_decl.h"

namespace mirabo::keys {

// One component's value as the index holds it.
using KeyPart = std::variant<int64_t, double, std::string>;
using KeyValue = std::vector<KeyPart>;

// The index form of a field's raw bytes.
KeyPart EncodeKeyPart(const FieldDecl& field, bool nocase, std::string_view raw);

// The key value of `key` from a record buffer.
KeyValue KeyFromRecord(const FileDecl& decl, const KeyDecl& key, const char* record);

// A key position: the key's raw field bytes followed by the record number in
// four little-endian bytes.  A record-order position is the four bytes alone.
std::string EncodePosition(const FileDecl& decl, const KeyDecl* key, const char* record,
                           int64_t rowid);
// Splits a position back into its index form and record number; false when
// the position does not fit the key.
bool DecodePosition(const FileDecl& decl, const KeyDecl* key, std::string_view position,
                    KeyValue* value, int64_t* rowid);

// Three-way comparison in index order (numbers numerically, blobs bytewise).
int CompareKeyParts(const KeyPart& a, const KeyPart& b);

}  // namespace mirabo::keys
