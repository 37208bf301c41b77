// Outputs read back by programs that are not ours: Python's csv module for
// delimited text, python3-dbf and GDAL's ogrinfo for xBase tables.  Tests
// compare what these readers see with what was meant to be written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirabo::testing {

// Runs `command` through the shell; its standard output, or nullopt when it
// could not run or exited with a failure.
std::optional<std::string> RunCommand(const std::string& command);

// The system's Python when it has the python3-dbf module, else empty.
std::string PythonWithDbf();
bool HaveOgrinfo();

// Every record of the table as "deleted|field|field...", the deletion flag
// '*' or ' ', each field as Python shows it without trailing blanks.  No
// code page is given: python3-dbf takes the table's own word for it, as a
// user's script would.
std::string ReadDbfWithPython(const std::string& python, const std::string& path);

// The rows of a delimited text file as Python's csv module reads them (text
// decoded as Windows-1252, given back as UTF-8); nullopt when Python failed.
using CsvRows = std::vector<std::vector<std::string>>;
std::optional<CsvRows> ReadCsvWithPython(const std::string& path, char delimiter = ',',
                                         char quote = '"');

}  // namespace mirabo::testing
