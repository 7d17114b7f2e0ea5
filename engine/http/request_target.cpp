#include "engine/http/request_target.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/ascii_case.h"
#include "common/text.h"
#include "engine/access/numeric_host.h"
#include "engine/core/header_text.h"

namespace engine {

namespace {

// A port number 1-65535; an empty text keeps the default.
bool ParsePort(std::string_view text, int& port) {
    if (text.empty()) return true;
    if (text.size() > 5 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
    int value = std::stoi(std::string(text));
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

// "host", "host:port", "[v6]" or "[v6]:port"; a bare IPv6 address (more
// than one colon) carries no port.
bool SplitHostPort(std::string_view text, std::string& host, int& port) {
    text = common::TrimBlanks(text);
    text = text.substr(0, text.find_first_of(" \t"));
    if (text.empty()) return false;
    if (text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos || close == 1) return false;
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && (rest.front() != ':' || !ParsePort(rest.substr(1), port))) return false;
        host = std::string(text.substr(0, close + 1));
        return true;
    }
    size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
        if (colon == 0 || !ParsePort(text.substr(colon + 1), port)) return false;
        text = text.substr(0, colon);
    }
    host = std::string(text);
    return true;
}

// A URI scheme: a letter, then letters, digits, "+", "-" or ".".
bool IsScheme(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text.front()))) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

}  // namespace

TargetResult ParseRequestTarget(std::string_view requestLine, bool socksEngine, std::string_view hostHeader,
                                RequestTarget& target) {
    target = RequestTarget{};
    std::string_view line = requestLine.substr(0, requestLine.find_first_of("\r\n"));
    size_t lastBlank = line.rfind(' ');
    if (lastBlank == std::string_view::npos || !common::StartsWithIgnoringAsciiCase(line.substr(lastBlank + 1), "http/"))
        return TargetResult::BadVersion;
    target.version = std::string(line.substr(lastBlank + 1, kVersionTextLimit));
    size_t firstBlank = line.find(' ');
    target.method = std::string(line.substr(0, firstBlank));
    std::string_view uri = common::TrimBlanks(line.substr(firstBlank, lastBlank - firstBlank));

    std::string_view hostText;
    std::string_view afterHost;  // from the "/" behind the host, or empty
    // The target is in absolute form when it begins with a scheme and
    // "://", whatever the length of the method before it.
    size_t scheme = uri.find("://");
    if (scheme != std::string_view::npos && IsScheme(uri.substr(0, scheme))) {
        if (common::EqualsIgnoringAsciiCase(uri.substr(0, scheme), "ftp")) return TargetResult::Ftp;
        target.absoluteForm = true;
        target.urlKey = std::string(uri);
        std::string_view rest = uri.substr(scheme + 3);
        size_t slash = rest.find('/');
        hostText = rest.substr(0, slash);
        if (slash != std::string_view::npos) afterHost = rest.substr(slash);
    } else if (socksEngine) {
        hostText = hostHeader;
        size_t slash = uri.find('/');
        if (slash != std::string_view::npos) afterHost = uri.substr(slash);
    } else {
        return TargetResult::NoTarget;
    }
    if (!SplitHostPort(hostText, target.host, target.port)) return TargetResult::NoTarget;
    const std::string written = target.host;
    target.host = ListedHost(written);
    // The URL key names the server as the lists know it.
    if (target.absoluteForm && target.host != written)
        target.urlKey.replace(scheme + 3 + hostText.find(written), written.size(), target.host);
    target.authority = target.port == 80 ? target.host : target.host + ":" + std::to_string(target.port);

    target.hostSlash = !afterHost.empty();
    target.originPath = target.hostSlash ? std::string(afterHost) : "/";
    target.spoolPath = target.hostSlash ? std::string(afterHost.substr(1)) : "";
    if (!target.absoluteForm) {
        if (target.port == 80) {
            target.urlKey = "http://" + target.host + "/";
        } else if (target.port == 443) {
            target.urlKey = "https://" + target.host + "/,";
        } else {
            target.urlKey = "http://" + target.host + ":" + std::to_string(target.port) + "/";
        }
        target.urlKey += target.spoolPath;
    }
    return TargetResult::Ok;
}

bool TargetNames(const RequestTarget& target, std::string_view host, int port) {
    auto bare = [](std::string_view text) {
        return text.size() >= 2 && text.front() == '[' && text.back() == ']' ? text.substr(1, text.size() - 2)
                                                                              : text;
    };
    return target.port == port && common::EqualsIgnoringAsciiCase(bare(target.host), bare(ListedHost(host)));
}

std::string HostHeaderValue(std::string_view head) {
    while (!head.empty()) {
        size_t lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        head.remove_prefix(lf == std::string_view::npos ? head.size() : lf + 1);
        if (common::StartsWithIgnoringAsciiCase(line, "host:")) {
            return std::string(common::TrimBlanks(WithoutLineEnd(line.substr(5))));
        }
    }
    return "";
}

std::string ListKey(const std::string& listenAddress, int listenPort, const RequestTarget& target) {
    std::string method = target.method;
    for (char& c : method) c = common::LowerAscii(c);
    return listenAddress + ":" + std::to_string(listenPort) + "," + method + ",tcp," + target.host + "," +
           std::to_string(target.port);
}

std::string SpoolNamePart(std::string_view urlPath, bool& longLink) {
    urlPath = urlPath.substr(0, urlPath.find(' '));
    longLink = urlPath.size() > kSpoolNameLimit;
    std::string name(urlPath.substr(0, kSpoolNameLimit));
    for (char& c : name) {
        if (std::string_view("\\/:*?<>|").find(c) != std::string_view::npos) c = '_';
    }
    return name;
}

SpoolFiles MakeSpoolFiles(const std::string& dataFolder, int protocol, int spoolNumber, const RequestTarget& target,
                          bool& longLink) {
    longLink = false;
    std::string name = "proxy.tmp";
    if (target.hostSlash) {
        name = SpoolNamePart(target.spoolPath, longLink);
        if (name.empty()) {
            name = "index.html";
        } else if (name.back() == '_') {
            name += "_index.html";
        }
    }
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "req-%d-%04d_", protocol, spoolNumber);
    SpoolFiles files;
    files.response = dataFolder + "cache/" + prefix + name;
    files.work = files.response + ".tmp";
    return files;
}

}  // namespace engine
