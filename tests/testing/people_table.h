// The PEOPLE table the table drivers' tests share: its declaration (four
// keys: a NOCASE name, a city, an age, a unique id), six people whose names
// differ only in case or by an accent, and the helpers that fill and read it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_decl.h"
#include "runtime/text.h"

namespace mirabo::testing {

enum PeopleKey { kByName, kByCity, kByAge, kById };

inline FileDecl PeopleDecl(std::string name = "PEOPLE") {
  using B = FileDeclBuilder;
  return B("PEOPLE", "PEO", "KARVINEX")
      .Name(std::move(name))
      .Create()
      .String("NAME", 20)
      .Short("AGE")
      .Real("SCORE")
      .String("CITY", 10)
      .Long("ID")
      .Key("BYNAME", {"NAME"}, B::kDup | B::kNoCase)
      .Key("BYCITY", {"CITY"}, B::kDup)
      .Key("BYAGE", {"AGE"}, B::kDup)
      .Key("BYID", {"ID"}, B::kUnique)
      .Build();
}

struct Person {
  const char* name;  // UTF-8 here, stored as Windows-1252
  int age;
  double score;
  const char* city;
  int id;
};

// Record numbers follow the order of this list: 1 is "beta", 2 "ALPHA" ...
inline const std::vector<Person> kPeople = {
    {"beta", 30, 1.5, "Oslo", 10},     {"ALPHA", 20, 2.5, "oslo", 11},
    {"alpha", 20, 3.5, "Bergen", 12},  {"Gamma", 40, 4.5, "Oslo", 13},
    {"delta", 20, 5.5, "Arendal", 14}, {"Épée", 50, 6.5, "Bergen", 15},
};

inline std::string Latin1(const std::string& utf8) { return *Cp1252FromUtf8(utf8); }

// Adds `people` to `f`, open for writing.
inline void Fill(File& f, const std::vector<Person>& people) {
  for (const Person& p : people) {
    f.ClearRecord();
    f.Field("NAME").SetString(Latin1(p.name));
    f.Field("AGE").SetNumber(p.age);
    f.Field("SCORE").SetNumber(p.score);
    f.Field("CITY").SetString(p.city);
    f.Field("ID").SetNumber(p.id);
    ASSERT_EQ(f.Add(), kNoError);
  }
}

inline std::string Name(File& f) { return std::string(Clip(f.Field("NAME").Bytes())); }

// Reads on in one direction until the end, collecting names.
inline std::vector<std::string> ReadAll(File& f, bool forward) {
  std::vector<std::string> out;
  while ((forward ? f.Next() : f.Previous()) == kNoError) out.push_back(Name(f));
  return out;
}

}  // namespace mirabo::testing
