// Daily log files: one file a day, "%04d%02d%02d.log" in a per-program
// folder, each line stamped with the local time. A line can go to the
// file, to the console, to both or nowhere; every line is written under
// one lock, so lines of different threads never mix. A burst of lines (one
// request of a server that logs every line of a mail) can be held and
// written in one go.
#pragma once

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

#include "common/local_time.h"

namespace common {

// "<folder>/YYYYMMDD.log" for the date of t.
std::string DailyFilePath(const std::string& folder, const LocalTime& t);

// Appends text to the file, creating the file's folder (every level) when
// it is missing. False when the file can't be written.
bool AppendToFile(const std::string& path, std::string_view text);

// The text as a log shows it: every control byte but a tab, an LF and the
// CR of a CR LF becomes "?", so bytes a peer sent can neither break a line
// nor drive the terminal of the console copy. `text` itself when it has
// none (most lines), else the shown form, made in `copy`.
std::string_view ShownInLog(std::string_view text, std::string& copy);

class DailyLogFile {
public:
    enum class Stamp {
        Seconds,       // "[%02d:%02d:%02d] %s"
        Milliseconds,  // "[%02d:%02d:%02d:%03d] %s"
    };

    // console: the stream the console copy goes to (stdout or stderr).
    explicit DailyLogFile(Stamp stamp, FILE* console = stdout);

    // An empty folder means no file copy (there is nowhere sound to put it).
    void setFolder(std::string folder);
    void setToFile(bool on);
    void setToConsole(bool on);
    void setClock(Clock clock);  // an empty clock restores the real one

    std::string folder() const;
    bool toFile() const;
    bool toConsole() const;

    // Writes one line. The text carries its own line end; none is added.
    // Never fails: a file that can't be written loses that copy only.
    void write(std::string_view text);

    // Text as it stands, unstamped, to the console stream whether or not
    // the console copy is on; in its order among held lines.
    void writeUnstamped(std::string_view text);

    // The line as it would be written at time t.
    std::string formatLine(const LocalTime& t, std::string_view text) const;

    // While a Hold lives, lines are kept (each stamped when written) and
    // written together when the last Hold ends, or as soon as kHeldLimit
    // bytes are kept: a few writes instead of a write (and with the file
    // copy an open and close) per line. What reaches the file and the
    // console is the same, line for line, as without the Hold; a process
    // killed meanwhile loses the lines held.
    class Hold {
    public:
        explicit Hold(DailyLogFile& log);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        DailyLogFile& log_;
    };
    static constexpr size_t kHeldLimit = 64 * 1024;

    ~DailyLogFile();

private:
    void appendLine(std::string& out, const LocalTime& t, std::string_view text) const;
    void writeHeldLocked();
    void toConsoleLocked(std::string_view text);
    LocalTime heldNowLocked();

    int holds_ = 0;
    std::string heldPath_;     // the day file the held file lines go to
    std::string heldFile_;     // lines for heldPath_
    std::string heldConsole_;  // lines for the console
    std::string line_;         // the line being written, its buffer kept
    time_t heldSecond_ = -1;   // the second of heldTime_ (-1: none)
    LocalTime heldTime_;       // the local time of a held line of that second
    const Stamp stamp_;
    FILE* const console_;
    mutable std::mutex lock_;
    std::string folder_;
    bool toFile_ = false;
    bool toConsole_ = false;
    Clock clock_;
};

}  // namespace common
