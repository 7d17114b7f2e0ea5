// The kids filter records the HTTP detail page writes to kidssearch.ini for
// the content word filter: a comment line naming the record, the record's
// "name,search URL" line and its five "flag,pattern" lines, each from a
// value of the product key or its built-in default.
#pragma once

#include <string>

namespace panel {

enum class KidsRecord { R12, R15, R18 };

// The built-in default of a kids filter value ("http-r12", "http-r15-3",
// ...); empty for names that are not one.
std::string KidsValueDefault(const std::string& valueName);

// The file's bytes for a record: seven lines in code page 932, CR LF, each
// value cut at 520 bytes (never inside a character); values are written as
// they are ("%%" stays "%%").
std::string KidsRecordBytes(KidsRecord record);

// <data folder>/kidssearch.ini.
std::string KidsSearchPath();
// Writes the record's file whole; nothing is reported on failure.
void WriteKidsRecord(KidsRecord record);
// Deletes the file; a missing one is no error.
void DeleteKidsRecord();

}  // namespace panel
