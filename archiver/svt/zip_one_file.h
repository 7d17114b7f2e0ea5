// One file packed into one new zip archive, with the traditional PKWARE
// encryption when a password is given (the kind every unzip tool and file
// manager opens).
#pragma once

#include <optional>
#include <string>

namespace archiver {

struct ZipJob {
    std::string file;       // the file to pack
    std::string archive;    // the zip to write; any file there is replaced
    // The name stored for the entry, without folders, as code page 932
    // bytes. Japanese unzip tools read names without the UTF-8 flag as
    // CP932, so the bytes are stored as they are and the flag stays off.
    std::string entryName;
    std::optional<std::string> password;  // none: not encrypted
};

// True when the archive was written whole; on failure no archive is left.
// Messages go to the console only.
bool ZipOneFile(const ZipJob& job);

}  // namespace archiver
