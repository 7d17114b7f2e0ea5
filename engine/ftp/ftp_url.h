// An ftp:// URL as the HTTP proxy's clients ask for it: who logs in where,
// which folder is listed or which file is fetched.
#pragma once

#include <string>
#include <string_view>

namespace engine {

inline constexpr const char* kFtpDefaultUser = "anonymous";
inline constexpr const char* kFtpDefaultPassword = "R-AZAZO@";
inline constexpr size_t kFtpFieldLimit = 255;  // user, password, host, file name
inline constexpr size_t kFtpUrlPathLimit = 255;
inline constexpr size_t kFtpDecodedPathLimit = 511;

struct FtpUrlRequest {
    std::string user = kFtpDefaultUser;
    std::string password = kFtpDefaultPassword;
    std::string host;  // an IPv6 address without its brackets
    int port = 21;
    std::string path = "/";  // the folder, percent-decoded, for CWD
    std::string command;     // "LIST" or "RETR"
    std::string fileName;    // percent-decoded; empty for a listing
};

enum class FtpUrlResult {
    Ok,
    NoHost,     // nothing usable before the path, or a bad port
    Injection,  // a CR, LF or NUL in the decoded user, password, path or file name
};

// Reads the URL (the request line's target, from "ftp://" on). The user
// and password come only from the part before the host: an "@" further on
// belongs to the path. A path whose last dot is followed by at most four
// characters names a file (its last part); a path that ends in "/" is
// always a folder.
FtpUrlResult ParseFtpUrl(std::string_view url, FtpUrlRequest& request);

}  // namespace engine
